#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Builds the engine with the address and undefined-behaviour sanitizers in a folder of its
# own (build-sanitize/, or $QUORVANE_SANITIZE_DIR) and runs the server, job and drive tests
# there; any report of either sanitizer fails the run. Extra arguments go to each test
# program (e.g. --gtest_filter=Server*).
# The archive library is loaded without RTLD_DEEPBIND here: the sanitizer's run-time
# refuses that flag (QUORVANE_DLOPEN_DEEPBIND=OFF).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUORVANE_SANITIZE_DIR:-$top/build-sanitize}
"$top/scripts/setup-debian.sh"
# The 7-Zip library's objects implement the program's interface declarations by layout,
# as binary interfaces across modules do, not by the program's C++ types: the vptr check
# would report every call into them, so it is left out (the rest of UBSan stays).
flags="-fsanitize=address,undefined -fno-sanitize=vptr -fno-omit-frame-pointer"
flags+=" -fno-sanitize-recover=undefined"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DQUORVANE_DLOPEN_DEEPBIND=OFF
fi
programs=(server_tests jobs_tests drive_tests drive_loop_tests)
nice cmake --build "$build" -j"$(nproc)" --target "${programs[@]}" quorvane_resources

export QUORVANE_RESOURCES="$build/resources"
export QUORVANE_SOURCE_DIR="$top" QUORVANE_BUILD_DIR="$build"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for program in "${programs[@]}"; do
  echo "== $program"
  if ! nice "$build/$program" --gtest_brief=1 "$@"; then failed+=("$program"); fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "sanitize: failed: ${failed[*]}" >&2
  exit 1
fi
echo "sanitize: the server, job and drive tests ran clean under ASan and UBSan"
