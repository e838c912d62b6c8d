#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# The control server under 200 concurrent clients for 30 s on loopback: each client sends
# the simple command "GetSessionId" on its own keep-alive connection, one request after
# another. Prints requests per second, failed requests, the p50/p99 latency and the
# server's peak resident memory (its own process). Targets on the 2-core build machine:
# no failed request, p99 under 50 ms, peak RSS under 64 MiB.
#   bench/server_load.sh    (QUORVANE_BENCH_CLIENTS, default 200; QUORVANE_BENCH_SECONDS,
#                            default 30)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
clients=${QUORVANE_BENCH_CLIENTS:-200}
seconds=${QUORVANE_BENCH_SECONDS:-30}

[ -f "$build/build.ninja" ] || "$top/scripts/build.sh" --target quorvane_bench_server >/dev/null
cmake --build "$build" --target quorvane_bench_server >/dev/null
bench=$build/bench/quorvane_bench_server
[ -x "$bench" ] || bench=$build/quorvane_bench_server

out=$(mktemp)
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -f "$out"
}
trap cleanup EXIT
"$bench" serve >"$out" &
server=$!
for _ in $(seq 100); do grep -q '^TOKEN ' "$out" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$out")
token=$(sed -n 's/^TOKEN //p' "$out")
[ -n "$port" ] && [ -n "$token" ] || { echo "bench/server_load.sh: the server did not start" >&2; exit 1; }

status=0
"$bench" load "$port" "$token" "$clients" "$seconds" || status=$?
rss_kib=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$server/status")
threads=$(sed -n 's/^Threads:[[:space:]]*//p' "/proc/$server/status")
# utime and stime of the server, in clock ticks (fields 14 and 15 after the name).
ticks=$(sed 's/^.*) //' "/proc/$server/stat" | awk '{ print $12 + $13 }')
hz=$(getconf CLK_TCK)
awk -v t="$ticks" -v hz="$hz" 'BEGIN { printf "server: %.1f s of CPU time\n", t / hz }'
echo "load average while measured: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
awk -v k="$rss_kib" -v t="$threads" 'BEGIN { printf "server: peak RSS %d KiB (%.1f MiB), %s threads\n", k, k / 1024, t }'
echo "targets: no failed request, p99 < 50 ms, peak RSS < 64 MiB"
exit "$status"
