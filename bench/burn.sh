#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Times a whole burn of one 2 GiB image entry onto an image drive (quorvane-cli in mode
# add on an NTFS image drive: boot code, NTBOOT, the copy, its contiguity check, the entry
# and the release of the drive) against cp + sync of the same file onto the same NTFS
# volume mounted the same way (ntfs-3g), and prints both times and their ratio.
#   bench/burn.sh    (QUORVANE_BENCH_DIR: work folder, default /var/tmp/quorvane-bench-burn;
#                     QUORVANE_BENCH_IMAGE_MIB: size of the entry's image, default 2048;
#                     QUORVANE_BENCH_RUNS: runs of each, the best counts, default 1)
# Needs root and loop devices. Both start with the image in the page cache and end with
# the data on the disk that holds the image file (sync).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
work=${QUORVANE_BENCH_DIR:-/var/tmp/quorvane-bench-burn}
image_mib=${QUORVANE_BENCH_IMAGE_MIB:-2048}
runs=${QUORVANE_BENCH_RUNS:-1}

if [ "$(id -u)" -ne 0 ]; then echo "bench/burn.sh: needs root (loop devices)" >&2; exit 1; fi
"$top/scripts/setup-debian.sh"
[ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target quorvane-cli >/dev/null
cli=$build/quorvane-cli

mkdir -p "$work"
src=$work/big.iso
small=$work/small.iso
drive=$work/drive.img
mnt=$work/mnt
loop=""
cleanup() {
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || true; fi
  if [ -n "$loop" ]; then losetup -d "$loop" || true; fi
  rm -f "$drive"
}
trap cleanup EXIT

now() { date +%s.%N; }
if [ ! -f "$src" ] || [ "$(stat -c %s "$src")" -ne $((image_mib << 20)) ]; then
  echo "making a ${image_mib} MiB image of random bytes"
  head -c $((image_mib << 20)) /dev/urandom >"$src"
fi
head -c 65536 /dev/urandom >"$small"

# The image drive: NTFS, three times the image. mkfs.ntfs keeps the first eighth of the
# volume for the MFT and puts the log file in its middle, so an image that GRUB4DOS is to
# map in place finds one free run only on a drive well over twice its size.
new_drive() {
  rm -f "$drive"
  "$cli" burn --image "$drive" --size $((image_mib * 3 << 20)) --mode new --fs ntfs \
    --entry "6:$small" --yes >/dev/null
  start=$(sfdisk --dump "$drive" | awk -F'[=,]' '/start=/ {gsub(/ /, "", $2); print $2; exit}')
}
# The drive's NTFS volume, mounted as the program mounts it.
mount_volume() {
  loop=$(losetup --find --show --offset $((start * 512)) "$drive")
  mkdir -p "$mnt"
  ntfs-3g -o rw,nosuid,nodev,big_writes "$loop" "$mnt"
}
unmount_volume() {
  umount "$mnt"
  losetup -d "$loop"
  loop=""
}
keep_best() {  # keep_best VARIABLE SECONDS
  if [ -z "${!1}" ] || [ "$(echo "$2 < ${!1}" | bc -l)" = 1 ]; then printf -v "$1" '%s' "$2"; fi
}

t_burn=""
t_cp=""
for _ in $(seq "$runs"); do
  # Each run on a drive just made, so that both find the same free space.
  new_drive
  mount_volume
  # The image file is sparse: the first copy would also pay for its blocks. One untimed
  # copy gives them to it, so that both timed writes land on blocks the file has.
  cp "$src" "$mnt/warm.iso"
  rm -f "$mnt/warm.iso"
  sync
  # cp + sync onto the mounted volume.
  cat "$src" >/dev/null
  sync
  t0=$(now)
  cp "$src" "$mnt/copy.iso"
  sync
  t1=$(now)
  rm -f "$mnt/copy.iso"
  unmount_volume
  keep_best t_cp "$(echo "$t1 - $t0" | bc -l)"

  # The burn: the program attaches, mounts, writes and releases the drive itself. Its
  # release hands the data to the image file; sync takes them to the disk, as for cp.
  cat "$src" >/dev/null
  sync
  t0=$(now)
  if ! "$cli" burn --image "$drive" --mode add --entry "6:$src" --yes >"$work/burn.log" 2>&1; then
    echo "bench/burn.sh: the burn failed:" >&2
    cat "$work/burn.log" >&2
    exit 1
  fi
  sync
  t1=$(now)
  keep_best t_burn "$(echo "$t1 - $t0" | bc -l)"
done

ratio=$(echo "$t_burn / $t_cp" | bc -l)
printf 'image entry: %d MiB onto an NTFS image drive (ntfs-3g), best of %d\n' "$image_mib" "$runs"
printf '  quorvane-cli burn --mode add + sync   %8.3f s\n' "$t_burn"
printf '  cp + sync                             %8.3f s\n' "$t_cp"
printf '  ratio                                 %8.3f   (target: 1.10 or less)\n' "$ratio"
