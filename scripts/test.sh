#!/usr/bin/env bash
# Builds everything and runs every test. Extra arguments go to ctest (e.g. -R archive).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
"$top/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
