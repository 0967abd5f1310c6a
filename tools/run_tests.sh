#!/usr/bin/env bash
# Installs what is needed, builds and runs every test (unit and integration).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh"
# VXI-11 clients find the instrument through the portmapper.
"$here/tools/ensure_rpcbind.sh"
cd "${KR_BUILD_DIR:-$here/build}"
ctest --output-on-failure -j"$(nproc)" "$@"
