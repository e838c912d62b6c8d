#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Takes the README's screenshots of the portable window into docs/screenshots/: the
# window idle with two entries, during a burn (speed and time left), after it, without a
# drive, in the light look, the question before a burn naming the drive and the feedback
# form (offscreen platform, stand-in loaders, fixture drives), and the browser page of
# online mode during and after a burn, dark and light (its browser test). With --xvfb it also
# starts the real program under Xvfb and saves the screen.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
out=$top/docs/screenshots
"$top/scripts/build.sh" --target quorvane_screenshots quorvane >&2
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen QUORVANE_RESOURCES="$build/resources" \
  "$build/quorvane_screenshots" "$out"

# The online page, as its browser test sees it.
"$top/scripts/build.sh" --target online_page_host >&2
(cd "$top/tests/web" && { [ -d node_modules ] || npm ci --silent; })
QUORVANE_RESOURCES="$build/resources" QUORVANE_PAGE_HOST="$build/online_page_host" \
  QUORVANE_SCREENSHOTS="$out" node "$top/tests/web/online_page.mjs"

if [ "${1:-}" = "--xvfb" ]; then
  xvfb-run -a -s "-screen 0 1024x720x24" bash -c '
    set -e
    "$1/quorvane" & pid=$!
    sleep 3
    "$1/quorvane_screenshots" --grab-screen "$2/xvfb-portable-mode.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  ' _ "$build" "$out"
fi
