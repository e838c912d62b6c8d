#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Times whole burns onto NTFS image drives and prints the figures:
# 1. A 4 GiB CD image (code 6, mapped in place) burned by quorvane-cli in mode new onto an
#    8 GiB image drive without the read-back (--no-verify; bench/verify.sh times that)
#    (partitioning, formatting, boot code, NTBOOT, the image written
#    straight to its clusters, the entry, the release of the drive), against
#    dd oflag=direct conv=fsync of the same file to the same partition device; three
#    runs, the least and the median, and the burn's peak memory. Beside them the time of
#    the SHA-256 that the burn takes of what it writes, at the processor's rate (openssl
#    speed): where the device takes the bytes faster than that, it is the floor.
# 2. On the same drive: a 5.5 GiB image in mode new, and in mode add after a 1 GiB entry.
# 3. With QUORVANE_BENCH_NTFS3G=1 also a burn in mode add against cp + sync through
#    ntfs-3g (QUORVANE_BENCH_IMAGE_MIB, default 2048; QUORVANE_BENCH_RUNS, default 1).
#   bench/burn.sh    (QUORVANE_BENCH_DIR: work folder, default /var/tmp/quorvane-bench-burn;
#                     QUORVANE_BENCH_KEEP=1 keeps the images made there)
# Needs root and loop devices, and about 25 GiB free in the work folder. Every timed write
# starts with its source in the page cache and ends with the data on the disk that holds
# the image file (sync).
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
time_tool=/usr/bin/time
[ -x "$time_tool" ] || { echo "bench/burn.sh: needs GNU time (/usr/bin/time)" >&2; exit 1; }
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
drive_bytes=$((8 << 30))

now() { date +%s.%N; }
# shellcheck source=bench/cd_image.sh
source "$top/bench/cd_image.sh"
partition_start() { sfdisk --dump "$drive" | awk -F'[=,]' '/start=/ {gsub(/ /, "", $2); print $2; exit}'; }
seconds_since() { echo "$(now) - $1" | bc -l; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
least() { printf '%s\n' "$@" | sort -g | head -1; }
burn() {  # burn LOG ARGS...: quorvane-cli burn, its peak memory (KiB) in $rss
  local log=$1
  shift
  if ! "$time_tool" -f '%M' -o "$work/rss" "$cli" burn --image "$drive" "$@" --yes >"$log" 2>&1; then
    echo "bench/burn.sh: the burn failed: $*" >&2
    cat "$log" >&2
    exit 1
  fi
  rss=$(tail -1 "$work/rss")
}

direct_bench() {
  local cd4=$work/cd4g.iso step_cd=$work/cd40m.iso runs_burn=() runs_dd=() runs_step=()
  local peak=0
  make_cd_image "$cd4" 4096
  make_cd_image "$step_cd" 40
  # One untimed burn makes the drive file and gives it its blocks: every timed write, the
  # burns' and dd's, then lands on blocks the file has, as on a real drive, and each burn
  # in mode new finds the volume of the one before, as on a stick in use.
  rm -f "$drive"
  burn "$work/burn.log" --size "$drive_bytes" --mode new --fs ntfs --no-verify --entry "6:$cd4"
  for _ in 1 2 3; do
    # What the burn takes besides the image's bytes: the same burn with a 40 MiB image,
    # written straight to its clusters by the same writer.
    t0=$(now)
    burn "$work/step.log" --mode new --fs ntfs --no-verify --entry "6:$step_cd"
    sync
    runs_step+=("$(seconds_since "$t0")")
    cat "$cd4" >/dev/null
    sync
    t0=$(now)
    burn "$work/burn.log" --mode new --fs ntfs --no-verify --entry "6:$cd4"
    sync
    runs_burn+=("$(seconds_since "$t0")")
    [ "$rss" -gt "$peak" ] && peak=$rss
    # The same file to the same partition, straight.
    loop=$(losetup --find --show --offset $(($(partition_start) * 512)) "$drive")
    cat "$cd4" >/dev/null
    sync
    t0=$(now)
    dd if="$cd4" of="$loop" bs=8M oflag=direct conv=fsync status=none
    sync
    runs_dd+=("$(seconds_since "$t0")")
    losetup -d "$loop"
    loop=""
  done
  # The SHA-256 that every burn takes of what it writes (for the drive's manifest), at this
  # processor's rate for one stream in memory: a burn cannot go faster than this, however
  # fast the device.
  local rate digest_time
  rate=$(openssl speed -evp sha256 -bytes 8388608 -seconds 2 2>/dev/null |
    awk '$1 == "sha256" {sub(/k$/, "", $2); print $2 * 1000}')
  digest_time=$(echo "$(stat -c %s "$cd4") / $rate" | bc -l)
  local burn_min burn_median dd_min dd_median step_min step_median
  burn_min=$(least "${runs_burn[@]}")
  burn_median=$(median3 "${runs_burn[@]}")
  dd_min=$(least "${runs_dd[@]}")
  dd_median=$(median3 "${runs_dd[@]}")
  step_min=$(least "${runs_step[@]}")
  step_median=$(median3 "${runs_step[@]}")
  printf '4 GiB CD image (code 6), mode new, NTFS, 8 GiB image drive; 3 runs\n'
  printf '  quorvane-cli burn + sync      min %8.3f s   median %8.3f s   (%s)\n' \
    "$burn_min" "$burn_median" "${runs_burn[*]}"
  printf '  dd oflag=direct conv=fsync    min %8.3f s   median %8.3f s   (%s)\n' \
    "$dd_min" "$dd_median" "${runs_dd[*]}"
  printf '  ratio (min, median)           %8.3f       %8.3f     (target: 1.3 or less)\n' \
    "$(echo "$burn_min / $dd_min" | bc -l)" "$(echo "$burn_median / $dd_median" | bc -l)"
  printf '  the same burn of a 40 MiB image min %8.3f s   median %8.3f s   (%s)\n' \
    "$step_min" "$step_median" "${runs_step[*]}"
  printf '  the image'"'"'s share of the burn / dd (medians)   %8.3f\n' \
    "$(echo "($burn_median - $step_median) / $dd_median" | bc -l)"
  printf '  SHA-256 of the image at this processor'"'"'s rate   %8.3f s   (openssl speed: %.0f MB/s)\n' \
    "$digest_time" "$(echo "$rate / 1000000" | bc -l)"
  printf '  the image'"'"'s share / the larger of dd and the SHA-256 (medians)   %8.3f\n' \
    "$(echo "d = $dd_median; if ($digest_time > d) d = $digest_time; ($burn_median - $step_median) / d" | bc -l)"
  printf '  peak RSS of the burn          %8d KiB (target: below 65536 KiB)\n' "$peak"
  [ -n "${QUORVANE_BENCH_KEEP:-}" ] || rm -f "$cd4" "$step_cd"
}

fits_bench() {
  local cd55=$work/cd5500m.iso cd1=$work/cd1g.iso
  make_cd_image "$cd55" 5632
  make_cd_image "$cd1" 1024
  rm -f "$drive"
  burn "$work/fit-new.log" --size "$drive_bytes" --mode new --fs ntfs --entry "6:$cd55"
  printf '5.5 GiB CD image, mode new, 8 GiB drive:               fits (peak RSS %d KiB)\n' "$rss"
  rm -f "$drive"
  burn "$work/fit-add1.log" --size "$drive_bytes" --mode new --fs ntfs --entry "6:$cd1"
  burn "$work/fit-add2.log" --mode add --entry "6:$cd55"
  printf '5.5 GiB CD image, mode add after a 1 GiB entry:        fits (peak RSS %d KiB)\n' "$rss"
  [ -n "${QUORVANE_BENCH_KEEP:-}" ] || rm -f "$cd55" "$cd1"
}

ntfs3g_bench() {
  make_cd_image "$src" "$image_mib"
  make_cd_image "$small" 8

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
}

direct_bench
fits_bench
if [ -n "${QUORVANE_BENCH_NTFS3G:-}" ]; then ntfs3g_bench; fi
