#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Times the capacity check of mode new on image drives (loop devices over sparse image
# files) of several claimed sizes: quorvane-cli burn --check-capacity reports how long the
# check took, and the same burn without the check gives the time of the rest.
#   bench/capacity.sh   (QUORVANE_BENCH_DIR: work folder, default /var/tmp/quorvane-bench-capacity;
#                        QUORVANE_BENCH_SIZES: image sizes, default "1G 16G 256G")
# Needs root and loop devices. Sparse images take little room, whatever they claim.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
work=${QUORVANE_BENCH_DIR:-/var/tmp/quorvane-bench-capacity}
sizes=${QUORVANE_BENCH_SIZES:-1G 16G 256G}

if [ "$(id -u)" -ne 0 ]; then echo "bench/capacity.sh: needs root (loop devices)" >&2; exit 1; fi
"$top/scripts/setup-debian.sh"
[ -f "$build/build.ninja" ] || cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target quorvane-cli >/dev/null
cli=$build/quorvane-cli

mkdir -p "$work"
entry=$work/small.iso
drive=$work/drive.img
trap 'rm -f "$drive"' EXIT
# An entry the loaders accept: a CD image of random bytes with an El Torito record (the
# preflight refuses bare random bytes as an image for a CD type).
# shellcheck source=bench/cd_image.sh
source "$top/bench/cd_image.sh"
make_cd_image "$entry" 8 >/dev/null

now() { date +%s.%N; }
burn() {
  rm -f "$drive"
  "$cli" burn --image "$drive" --size "$1" --mode new --fs ntfs --entry "6:$entry" --yes "${@:2}"
}

printf '%-8s %14s %18s %18s\n' "claimed" "check" "burn with check" "burn without"
for size in $sizes; do
  t0=$(now)
  out=$(burn "$size" --check-capacity)
  t1=$(now)
  check=$(printf '%s\n' "$out" | sed -n 's/^Checking capacity took \([0-9.]*\) s.*/\1/p' | tail -1)
  if [ -z "$check" ]; then printf '%s\n' "$out" >&2; echo "no capacity check was reported" >&2; exit 1; fi
  t2=$(now)
  burn "$size" >/dev/null
  t3=$(now)
  awk -v s="$size" -v c="$check" -v a="$t0" -v b="$t1" -v d="$t2" -v e="$t3" \
    'BEGIN { printf "%-8s %12s s %16.1f s %16.1f s\n", s, c, b - a, e - d }'
done
