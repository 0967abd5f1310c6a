#!/usr/bin/env bash
# Installs what the build needs (Debian packages) and builds the firmware into build/.
# Usage: tools/setup.sh [extra cmake arguments]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev python3 pkg-config
          libtirpc-dev rpcbind python3-pyvisa python3-pyvisa-py lxi-tools liblxi-dev python3-pytest
          libmxml-dev clang-format)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

build="${KR_BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
