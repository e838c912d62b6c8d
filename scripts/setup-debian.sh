#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Installs every Debian package that building, running and testing the program needs.
# Idempotent: packages already present are left alone; the package index is refreshed
# once, and only when something is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # libraries
  libcpp-httplib-dev libssl-dev uuid-dev libblkid-dev qt6-base-dev libgtest-dev libgmock-dev
  ntfs-3g-dev
  libudev-dev nlohmann-json3-dev
  # run time: archive library, partitioning and file-system tools, dialogs, the re-run
  # as root through pkexec and the display grant for it
  p7zip-full fdisk dosfstools ntfs-3g util-linux mount xdg-utils zenity pkexec x11-xserver-utils
  # the Debian package and its checks
  lintian appstream man-db
  # tests: image fixtures, browser tests, boot test
  xorriso mtools chromium qemu-system-x86 xvfb
  # tests that boot for real: firmware, boot loaders and programs for the media built
  # from Debian's packages (tests/boot)
  ovmf grub-efi-amd64-bin grub-pc-bin isolinux syslinux-common busybox-static memtest86+ cpio
  # benchmarks: timing and peak memory, arithmetic
  time bc
  # Qt's platform plugins (offscreen, xcb) and fonts for the window
  libqt6gui6 fonts-dejavu-core fonts-dejavu-extra
)
# Node.js may come from another repository that bundles npm; ask Debian only when absent.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
