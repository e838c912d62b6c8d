#!/usr/bin/env bash
# Builds the program when needed and runs it with the given arguments.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_BUILD_DIR:-$top/build}
"$top/scripts/build.sh" --target quorvane >&2
exec "$build/quorvane" "$@"
