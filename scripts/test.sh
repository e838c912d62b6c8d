#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Builds everything and runs every test. Extra arguments go to ctest (e.g. -R archive).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
# The browser tests' one npm package (playwright-core; the browser is Debian's Chromium).
if [ ! -f "$top/tests/web/node_modules/.package-lock.json" ] ||
   [ "$top/tests/web/package-lock.json" -nt "$top/tests/web/node_modules/.package-lock.json" ]; then
  (cd "$top/tests/web" && npm ci --no-audit --no-fund)
fi
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
