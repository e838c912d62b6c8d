#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Times the program's copy and unpack against the system's tools, on the same files and
# the same target folder, and prints the ratios and our peak memory.
#   bench/fileops.sh            (QUORVANE_BENCH_DIR: work folder, default /var/tmp/quorvane-bench;
#                                QUORVANE_BENCH_COPY_MIB: size of the copied file, default 2048)
# Every run starts with the source in the page cache and ends with the data on the disk.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
work=${QUORVANE_BENCH_DIR:-/var/tmp/quorvane-bench}
copy_mib=${QUORVANE_BENCH_COPY_MIB:-2048}
runs=${QUORVANE_BENCH_RUNS:-2}

"$top/scripts/setup-debian.sh"
[ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target quorvane_bench_fileops >/dev/null
driver=$build/quorvane_bench_fileops

mkdir -p "$work"
target=$work/target
src=$work/image.bin
iso=$work/tree.iso

now() { date +%s.%N; }
warm() { cat "$1" >/dev/null; }
clean() { rm -rf "$target"; mkdir -p "$target"; sync; }
# Best of $runs: prints seconds.
best() {
  local best="" t0 t1 s
  for _ in $(seq "$runs"); do
    "$1"
    t0=$(now); "$2"; t1=$(now)
    s=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$s < $best" | bc -l)" = 1 ]; then best=$s; fi
  done
  printf '%.3f' "$best"
}
peak_kib() { awk -F': ' '/Maximum resident set size/ {print $2}' "$1"; }

# --- copy -------------------------------------------------------------------------------
if [ ! -f "$src" ] || [ "$(stat -c %s "$src")" -ne $((copy_mib << 20)) ]; then
  echo "making a ${copy_mib} MiB file of random bytes"
  head -c $((copy_mib << 20)) /dev/urandom >"$src"
fi
prep_copy() { clean; warm "$src"; }
ours_copy() { /usr/bin/time -v -o "$work/time-copy" "$driver" copy "$src" "$target/image.bin" >/dev/null; }
cp_sync() { cp "$src" "$target/image.bin" && sync; }
dd_fsync() { dd if="$src" of="$target/image.bin" bs=4M conv=fsync status=none; }

t_ours=$(best prep_copy ours_copy)
copy_peak=$(peak_kib "$work/time-copy")
t_cp=$(best prep_copy cp_sync)
t_dd=$(best prep_copy dd_fsync)
peer=$(echo "if ($t_cp < $t_dd) $t_cp else $t_dd" | bc -l)

# --- unpack -----------------------------------------------------------------------------
if [ ! -f "$iso" ]; then
  echo "making an ISO image of many files"
  rm -rf "$work/tree"
  mkdir -p "$work/tree"
  # 2400 files of 4 KiB to 316 KiB in 60 folders: about 380 MiB.
  for d in $(seq 1 60); do
    mkdir -p "$work/tree/dir$d"
    for f in $(seq 1 40); do
      head -c $(( (( (d * 41 + f * 97) % 79) + 1) * 4096 )) /dev/urandom >"$work/tree/dir$d/file$f.bin"
    done
  done
  xorriso -as mkisofs -quiet -R -J -o "$iso" "$work/tree"
  rm -rf "$work/tree"
fi
prep_unpack() { clean; warm "$iso"; }
ours_unpack() { /usr/bin/time -v -o "$work/time-unpack" "$driver" unpack "$iso" "$target/" >/dev/null; }
sevenzip_x() { 7z x -bd -y -o"$target" "$iso" >/dev/null; }
sevenzip_x_sync() { 7z x -bd -y -o"$target" "$iso" >/dev/null && sync; }

u_ours=$(best prep_unpack ours_unpack)
unpack_peak=$(peak_kib "$work/time-unpack")
u_7z=$(best prep_unpack sevenzip_x)
u_7z_sync=$(best prep_unpack sevenzip_x_sync)
clean

ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }
echo
echo "copy of $copy_mib MiB (best of $runs, seconds)"
echo "  CopyFileWithProgress      $t_ours   peak memory $((copy_peak / 1024)) MiB"
echo "  cp + sync                 $t_cp"
echo "  dd bs=4M conv=fsync       $t_dd"
echo "  ratio to the faster peer  $(ratio "$t_ours" "$peer")   (target 1.05)"
echo "unpack of $(($(stat -c %s "$iso") >> 20)) MiB ISO (best of $runs, seconds)"
echo "  UnpackArchive (flushed)   $u_ours   peak memory $((unpack_peak / 1024)) MiB"
echo "  7z x                      $u_7z"
echo "  7z x + sync               $u_7z_sync"
echo "  ratio to 7z x             $(ratio "$u_ours" "$u_7z")   (target 1.10)"
echo "  ratio to 7z x + sync      $(ratio "$u_ours" "$u_7z_sync")"
