#!/bin/sh
# Makes sure the portmapper (rpcbind) runs, so the VXI-11 server can register its programs
# and clients can find them. Installs the Debian package when it is missing (needs root).
set -eu
PATH="$PATH:/usr/sbin:/sbin"

running() {
    rpcinfo -p 127.0.0.1 >/dev/null 2>&1
}

if command -v rpcinfo >/dev/null 2>&1 && running; then
    exit 0
fi
if [ ! -x /usr/sbin/rpcbind ] || ! command -v rpcinfo >/dev/null 2>&1; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq rpcbind >/dev/null
    PATH="$PATH:/usr/sbin:/sbin"
fi
if ! running; then
    mkdir -p /run/rpcbind 2>/dev/null || true
    # -w: warm start (keeps registrations across restarts where a state file exists).
    /usr/sbin/rpcbind -w 2>/dev/null || /usr/sbin/rpcbind
fi
i=0
while ! running; do
    i=$((i + 1))
    if [ "$i" -gt 50 ]; then
        echo "ensure_rpcbind.sh: rpcbind did not come up" >&2
        exit 1
    fi
    sleep 0.1
done
exit 0
