#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Runs a test program over a copy of the resource folder that lacks GRUB4DOS's boot
# images, as in a clone without them: it must pass, and the tests that need the images
# must say that they skip for that reason, not crash.
# Usage: without_grub4dos.sh RESOURCE_FOLDER TEST_PROGRAM [ARGUMENTS...]
set -euo pipefail
resources=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$resources" "$work/resources"
rm -f "$work/resources/grldr" "$work/resources/grldr.mbr"
status=0
QUORVANE_RESOURCES="$work/resources" "$@" >"$work/output" 2>&1 || status=$?
cat "$work/output"
if [ "$status" -ne 0 ]; then
  echo "without_grub4dos: $1 ended with status $status without the boot images" >&2
  exit 1
fi
if ! grep -q "GRUB4DOS's grldr and grldr.mbr are not in the resource folder" "$work/output"; then
  echo "without_grub4dos: no test of $1 said that it skips for want of the boot images" >&2
  exit 1
fi
