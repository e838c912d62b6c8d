#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Builds the program and makes the Debian package build/quorvane_VERSION_amd64.deb
# (or in $QUORVANE_BUILD_DIR). GRUB4DOS's boot images are not in it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
"$top/scripts/build.sh" --target quorvane quorvane-cli quorvane_resources quorvane_package_files >&2
cd "$build"
cpack -G DEB >&2
ls "$build"/quorvane_*_amd64.deb
