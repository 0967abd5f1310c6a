#!/usr/bin/env bash
# Builds the tests of the threaded paths (tests/hw/tsan_tests.cmake) with ThreadSanitizer in a
# build directory of their own and runs them (CTest label tsan). Only those test targets are
# built. Usage: tools/run_tsan.sh [build dir] (default: build-tsan next to the sources).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-${KR_TSAN_BUILD_DIR:-$here/build-tsan}}"
jobs="${KR_JOBS:-2}"
cmake -S "$here" -B "$build" -G Ninja -DKR_TSAN=ON -DKR_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target kr_tsan_tests
cd "$build"
ctest -L tsan --output-on-failure
