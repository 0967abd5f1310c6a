#!/usr/bin/env bash
# Sets up, builds, prepares a simulation root and starts the virtual instrument in the
# foreground. The console link is this terminal: type SCPI commands, e.g. *IDN?
# Usage: tools/start_virtual_instrument.sh [-v|-f] ; KORVANE_ROOT picks the root (default
# ./simroot); KR_CONFIG a ready configuration (platform/make_simroot.sh --list) or KR_SERIAL a
# serial number for the root; KR_PORT the TCP port of the SCPI socket server.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh" -DKR_BUILD_BENCH=OFF
"$here/tools/ensure_rpcbind.sh" || echo "portmapper not available: VXI-11 stays off"
root="${KORVANE_ROOT:-$here/simroot}"
"$here/platform/make_simroot.sh" "$root" ${KR_CONFIG:+--config "$KR_CONFIG"} \
    ${KR_SERIAL:+"$KR_SERIAL"} ${KR_PORT:+--port "$KR_PORT"}
export KORVANE_ROOT="$root"
echo "Virtual instrument root: $root (stop with Ctrl-C)"
exec "${KR_BUILD_DIR:-$here/build}/korvane_fw" "$@"
