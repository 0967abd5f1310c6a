#!/usr/bin/env bash
# Cross-builds the firmware and its unit tests for the instrument's 32-bit ARM controller
# (armhf) into build-arm/ and runs the unit tests under user-mode emulation (qemu-arm).
# Installs Debian's cross toolchain and the armhf development packages (multiarch) first.
# Usage: tools/build_arm.sh [ctest arguments]   (KR_ARM_NO_TESTS=1: build only)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${KR_ARM_BUILD_DIR:-$here/build-arm}"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
packages=(crossbuild-essential-armhf qemu-user cmake ninja-build pkg-config
          libgtest-dev:armhf libgmock-dev:armhf libtirpc-dev:armhf libmxml-dev:armhf libstdc++6:armhf)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx armhf ||
        "${sudo_cmd[@]}" dpkg --add-architecture armhf
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache
                                         -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-armhf.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKR_BUILD_BENCH=OFF -DKR_TEST_PER_BINARY=ON \
    -DKR_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
[ "${KR_ARM_NO_TESTS:-0}" = 1 ] && exit 0
cd "$build"
ctest --output-on-failure -j"$(nproc)" -L unit "$@"
