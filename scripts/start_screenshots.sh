#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Screenshots of a start under Xvfb, into docs/screenshots/: a user's start of quorvane,
# which runs it again through pkexec (a stand-in here that asks with zenity, showing the
# message of the program's polkit policy, since a real polkit agent needs the system's
# session services), and a first start as root without GRUB4DOS's images. Needs root
# (to start the program as the user nobody).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
out=$top/docs/screenshots
"$top/scripts/build.sh" --target quorvane quorvane_screenshots quorvane_resources >&2
mkdir -p "$out"
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

message=$(sed -n 's|.*<message>\(.*\)</message>.*|\1|p' "$top/resources/desktop/org.quorvane.quorvane.policy.in")
cat >"$work/pkexec" <<STANDIN
#!/bin/sh
exec zenity --entry --hide-text --title="Authentication Required" --width=420 \
  --text="Authentication is needed to run Quorvane as the super user.\n\n$message\n\nPassword for root:"
STANDIN
chmod 755 "$work/pkexec"

display=:93
Xvfb "$display" -screen 0 800x500x24 -ac -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 2
grab() {
  sleep "$1"
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/quorvane_screenshots" --grab-screen "$out/$2"
}

# A user's start: the password question.
# In a process group of its own, so that the run and its dialog end together.
setsid runuser -u nobody -- env DISPLAY=$display HOME="$work" QUORVANE_PKEXEC="$work/pkexec" \
  "$build/quorvane" >/dev/null 2>&1 &
user_start=$!
grab 4 start-pkexec-question.png
kill -- -"$user_start" 2>/dev/null || true
wait "$user_start" 2>/dev/null || true

# A first start without GRUB4DOS's images says how to install them.
mkdir "$work/resources"
cp -r "$build/resources/." "$work/resources/"
rm -f "$work/resources/grldr" "$work/resources/grldr.mbr"
env DISPLAY=$display QUORVANE_RESOURCES="$work/resources" "$build/quorvane" >/dev/null 2>&1 &
root_start=$!
grab 4 start-without-boot-images.png
kill "$root_start" 2>/dev/null || true
wait "$root_start" 2>/dev/null || true
echo "saved $out/start-pkexec-question.png and $out/start-without-boot-images.png"
