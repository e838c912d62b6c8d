#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Times the read-back that checks each entry after it is written: the same burn by
# quorvane-cli with and without --no-verify, and prints the medians and their ratio.
# 1. NTFS: a 4 GiB CD image (code 6, mapped in place, written straight to its clusters)
#    in mode new onto an 8 GiB image drive.
# 2. FAT32: a CD image just under FAT32's largest file (4000 MiB), copied through the
#    kernel's vfat driver, in mode new onto an 8 GiB image drive.
#   bench/verify.sh   (QUORVANE_BENCH_DIR: work folder, default /var/tmp/quorvane-bench-verify;
#                      QUORVANE_BENCH_RUNS: runs of each burn, default 3;
#                      QUORVANE_BENCH_FS: "ntfs", "fat32" or "ntfs fat32" (the default);
#                      QUORVANE_BENCH_KEEP=1 keeps the images made there)
# Needs root and loop devices, and about 17 GiB free in the work folder. Every timed burn
# repartitions and formats a drive file that already has its blocks (an untimed burn made
# it), starts with its source in the page cache and ends with the data on the disk that
# holds the image file (sync). On loop devices the read-back comes from the
# image file, whose pages the host may still hold: a real stick reads back at its own
# speed, which this figure does not show.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
work=${QUORVANE_BENCH_DIR:-/var/tmp/quorvane-bench-verify}
runs=${QUORVANE_BENCH_RUNS:-3}
systems=${QUORVANE_BENCH_FS:-ntfs fat32}

if [ "$(id -u)" -ne 0 ]; then echo "bench/verify.sh: needs root (loop devices)" >&2; exit 1; fi
"$top/scripts/setup-debian.sh"
[ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target quorvane-cli >/dev/null
cli=$build/quorvane-cli

mkdir -p "$work"
drive=$work/drive.img
cleanup() { rm -f "$drive"; }
trap cleanup EXIT
drive_bytes=$((8 << 30))

now() { date +%s.%N; }
# shellcheck source=bench/cd_image.sh
source "$top/bench/cd_image.sh"
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# One timed burn in mode new onto the drive file; the seconds in $took.
timed_burn() {  # timed_burn FS IMAGE LOG [--no-verify]
  local fs=$1 image=$2 log=$3
  shift 3
  cat "$image" >/dev/null
  sync
  local t0
  t0=$(now)
  if ! "$cli" burn --image "$drive" --size "$drive_bytes" --mode new --fs "$fs" \
      --entry "6:$image" --yes "$@" >"$log" 2>&1; then
    echo "bench/verify.sh: the burn failed: $fs $image $*" >&2
    cat "$log" >&2
    exit 1
  fi
  sync
  took=$(echo "$(now) - $t0" | bc -l)
}

bench() {  # bench FS MIB
  local fs=$1 mib=$2 image=$work/cd-$2m.iso with=() without=() took
  make_cd_image "$image" "$mib"
  # One untimed burn makes the drive file and gives it its blocks, so that no timed burn
  # pays for the image file's own allocation, which varies from run to run.
  rm -f "$drive"
  timed_burn "$fs" "$image" "$work/burn-$fs-unverified.log" --no-verify
  # Alternately, so that a machine that grows busier weighs on both alike.
  for _ in $(seq "$runs"); do
    timed_burn "$fs" "$image" "$work/burn-$fs-verified.log"
    grep -q '\] Verifying$' "$work/burn-$fs-verified.log" || {
      echo "bench/verify.sh: the burn did not read its entry back" >&2
      cat "$work/burn-$fs-verified.log" >&2
      exit 1
    }
    with+=("$took")
    timed_burn "$fs" "$image" "$work/burn-$fs-unverified.log" --no-verify
    without+=("$took")
  done
  local m_with m_without
  m_with=$(median "${with[@]}")
  m_without=$(median "${without[@]}")
  printf '%s MiB CD image (code 6), mode new, %s, 8 GiB image drive; %d runs each\n' "$mib" "$fs" "$runs"
  printf '  burn + sync, verified       median %8.3f s   (%s)\n' "$m_with" "${with[*]}"
  printf '  burn + sync, --no-verify    median %8.3f s   (%s)\n' "$m_without" "${without[*]}"
  printf '  ratio of the medians        %8.3f          (target: 1.2 or less)\n' \
    "$(echo "$m_with / $m_without" | bc -l)"
  [ -n "${QUORVANE_BENCH_KEEP:-}" ] || rm -f "$image"
}

for fs in $systems; do
  case $fs in
    ntfs) bench ntfs 4096 ;;
    fat32)
      # The program mounts FAT32 through the kernel's vfat driver.
      if grep -qw vfat /proc/filesystems || { modprobe -q vfat 2>/dev/null && grep -qw vfat /proc/filesystems; }; then
        bench fat32 4000
      else
        echo "FAT32: skipped, the kernel has no vfat driver"
      fi ;;
    *) echo "bench/verify.sh: unknown file system $fs" >&2; exit 1 ;;
  esac
done
