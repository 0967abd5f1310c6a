#!/usr/bin/env bash
# Builds the libFuzzer target with clang in a build directory of its own and runs it for a
# bounded time: tools/run_fuzz.sh SECONDS [extra libFuzzer options]. Findings (crash-*, leak-*,
# timeout-*) are written into the build directory and make the script fail.
set -euo pipefail
seconds="${1:-60}"
shift || true
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${KR_FUZZ_BUILD_DIR:-$here/build-fuzz}"
jobs="${KR_FUZZ_JOBS:-2}"
if ! command -v clang++ >/dev/null; then
    echo "run_fuzz.sh: clang++ is needed (apt-get install clang libclang-rt-dev)" >&2
    exit 2
fi
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DKR_FUZZ=ON -DKR_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_executor
corpus="$build/fuzz-corpus"
mkdir -p "$corpus"
cd "$build"
# The seeds of the repository are read, new inputs go to the build's own corpus.
./tests/fuzz/fuzz_executor "$corpus" "$here/tests/fuzz/corpus" \
    -dict="$here/tests/fuzz/scpi.dict" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 "$@"
