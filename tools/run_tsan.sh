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
cmake --build "$build" -j"$jobs" --target hw_test_krspi hw_test_fs_fpga hw_test_double_buffer \
    device_test_analog_device scpi_test_scpi_link scpi_test_scpi_execute remote_test_krsocket \
    remote_test_krsocket_bcast remote_test_krusb remote_test_krvxi core_test_kr_event \
    frontpanel_test_krhcupdate platform_test_rtnative platform_test_sim_hw
cd "$build"
ctest -L tsan --output-on-failure
