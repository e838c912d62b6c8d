#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# The bash completion of quorvane-cli on a table of command lines, in a folder of
# images and archives, with a stand-in quorvane-cli that lists two drives.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/images"
cat >"$work/bin/quorvane-cli" <<'STANDIN'
#!/bin/sh
[ "$1" = drives ] || exit 2
echo "DRIVE  DEVICE     VENDOR AND MODEL           LABEL  FS     FREE       SIZE"
echo "b      /dev/sdb1  Kingston DataTraveler 3.0  STICK  FAT32  7.00 GiB   7.45 GiB"
echo "c      /dev/sdc1  SanDisk Cruzer             ?      ?      unknown   14.91 GiB"
STANDIN
chmod +x "$work/bin/quorvane-cli"
touch "$work/files/ubuntu.iso" "$work/files/win10.ISO" "$work/files/notes.txt" \
  "$work/files/grub4dos.zip" "$work/files/stick.img"
PATH="$work/bin:$PATH"
cd "$work/files" || exit 1
# shellcheck source=/dev/null
source "$completion"

failures=0
# complete LINE EXPECTED: LINE is the command line up to the cursor ("|" splits words as
# bash does, the last word being the one completed); EXPECTED the sorted answers.
complete_case() {
  local line=$1 expected=$2
  IFS='|' read -r -a COMP_WORDS <<<"$line"
  [[ "$line" == *"|" ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quorvane_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" != "$expected" ]; then
    echo "FAILED: [$line] gave [$got], expected [$expected]"
    failures=$((failures + 1))
  fi
}

complete_case "quorvane-cli|" "--help --version burn drives setup-boot-images test-boot verify"
complete_case "quorvane-cli|b" "burn"
complete_case "quorvane-cli|t" "test-boot"
complete_case "quorvane-cli|test-boot|" "--drive --entry --image --no-window --uefi --wait"
complete_case "quorvane-cli|test-boot|--drive|" "b c"
complete_case "quorvane-cli|test-boot|--image|" "images/ stick.img"
complete_case "quorvane-cli|test-boot|--entry|" ""
complete_case "quorvane-cli|drives|" "--bytes --json"
complete_case "quorvane-cli|burn|--m" "--mode"
complete_case "quorvane-cli|burn|--c" "--check-capacity"
complete_case "quorvane-cli|burn|--n" "--no-verify"
complete_case "quorvane-cli|burn|--f" "--force --fs"
complete_case "quorvane-cli|burn|--j" "--json"
complete_case "quorvane-cli|burn|--mode|" "add new"
complete_case "quorvane-cli|burn|--fs|" "fat32 ntfs"
complete_case "quorvane-cli|burn|--drive|" "b c"
complete_case "quorvane-cli|burn|--entry|" "0: 1: 2: 3: 4: 5: 6: 7: 8: 9:"
# bash splits CODE:PATH at the colon: "5" ":" "PATH".
complete_case "quorvane-cli|burn|--entry|5|:|u" "ubuntu.iso"
complete_case "quorvane-cli|burn|--entry|5|:|" "images/ ubuntu.iso win10.ISO"
complete_case "quorvane-cli|burn|--entry|5|:" ":images/ :ubuntu.iso :win10.ISO"
complete_case "quorvane-cli|burn|--image|" "images/ stick.img"
complete_case "quorvane-cli|verify|" "--drive --image --json"
complete_case "quorvane-cli|verify|--drive|" "b c"
complete_case "quorvane-cli|verify|--image|" "images/ stick.img"
complete_case "quorvane-cli|setup-boot-images|" "--from --to"
complete_case "quorvane-cli|setup-boot-images|--from|" "grub4dos.zip images/"
complete_case "quorvane-cli|setup-boot-images|--to|" "images/"

if [ "$failures" -gt 0 ]; then
  echo "$failures completion case(s) failed"
  exit 1
fi
echo "all completion cases passed"
