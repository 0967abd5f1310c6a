#!/usr/bin/env bash
# Sets up, builds, prepares a simulation root and starts the virtual instrument in the
# foreground. The console link is this terminal: type SCPI commands, e.g. *IDN?
# Usage: tools/start_virtual_instrument.sh [-v|-f] ; KORVANE_ROOT picks the root (default
# ./simroot), KR_SERIAL the serial number written into a new root.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/tools/setup.sh" -DKR_BUILD_BENCH=OFF
"$here/tools/ensure_rpcbind.sh" || echo "portmapper not available: VXI-11 stays off"
root="${KORVANE_ROOT:-$here/simroot}"
"$here/platform/make_simroot.sh" "$root" ${KR_SERIAL:+"$KR_SERIAL"}
export KORVANE_ROOT="$root"
echo "Virtual instrument root: $root (stop with Ctrl-C)"
exec "${KR_BUILD_DIR:-$here/build}/korvane_fw" "$@"
