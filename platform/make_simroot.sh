#!/bin/sh
# Prepares a simulation root for the firmware: the directory tree, a default serial
# number, the interface stanzas, the storage scripts, harmless stand-ins for the system
# tools the firmware runs and links to the safe host tools its shell commands use.
# Safe to run again: stand-ins are refreshed, configuration files are only created.
#
# usage: make_simroot.sh ROOT [SERIAL]
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ -z "$1" ]; then
    echo "usage: $0 ROOT [SERIAL]" >&2
    exit 2
fi
mkdir -p "$1"
ROOT=$(cd "$1" && pwd -P)
SERIAL=${2:-1C0-000B10000-0001}   # single-channel 20 GHz standard instrument
case "$ROOT" in
*\'*) echo "make_simroot.sh: root path must not contain a single quote" >&2; exit 2 ;;
esac
LOG="$ROOT/media/ram/sim_actions.log"

for d in korvane/dev/conf korvane/cust/list korvane/cust/flatness korvane/temp media/ram \
         storage root etc/network etc/init.d dev bin sbin usr/bin usr/sbin; do
    mkdir -p "$ROOT/$d"
done
touch "$LOG"

# Configuration the system image supplies; never overwritten.
if [ ! -e "$ROOT/korvane/dev/sn" ]; then
    printf '%s' "$SERIAL" > "$ROOT/korvane/dev/sn"
fi
if [ ! -e "$ROOT/korvane/dev/conf/lo_conf" ]; then
    printf 'auto lo\niface lo inet loopback\n\n' > "$ROOT/korvane/dev/conf/lo_conf"
fi
if [ ! -e "$ROOT/korvane/dev/conf/eth0_dhcp_conf" ]; then
    printf 'auto eth0\niface eth0 inet dhcp\n   post-up /usr/sbin/KR_generateAvahiServices\n' \
        > "$ROOT/korvane/dev/conf/eth0_dhcp_conf"
fi

# stand_in PATH [OUTPUT]: a script that records its call and prints OUTPUT.
stand_in() {
    {
        echo '#!/bin/sh'
        echo '# Simulation stand-in: records the call instead of acting on the host.'
        echo "echo \"\${0##*/} \$*\" >> '$LOG'"
        if [ -n "${2:-}" ]; then
            printf '%s\n' "$2"
        fi
    } > "$ROOT/$1.tmp"
    chmod 755 "$ROOT/$1.tmp"
    mv -f "$ROOT/$1.tmp" "$ROOT/$1"
}

for s in write_kr protect_kr write_root protect_root write_storage read_storage protect_storage; do
    stand_in "bin/$s"
done
for s in reboot halt udhcpc iptables hwclock ip; do
    stand_in "sbin/$s"
done
stand_in bin/su
stand_in etc/init.d/ifplugd.init
stand_in usr/sbin/KR_generateAvahiServices
stand_in root/janitor.sh

stand_in sbin/ifconfig 'case "${1:-eth0}" in
eth0*)
    echo "eth0      Link encap:Ethernet  HWaddr 02:00:00:00:00:01  "
    echo "          inet addr:127.0.0.1  Bcast:127.255.255.255  Mask:255.0.0.0"
    echo "          UP BROADCAST RUNNING MULTICAST  MTU:1500  Metric:1"
    ;;
esac'

stand_in sbin/route 'echo "Kernel IP routing table"
echo "Destination     Gateway         Genmask         Flags Metric Ref    Use Iface"
echo "0.0.0.0         127.0.0.1       0.0.0.0         UG    0      0        0 eth0"
echo "127.0.0.0       0.0.0.0         255.0.0.0       U     0      0        0 eth0"'

# Reading the name is harmless; setting it must not reach the host.
stand_in bin/hostname '[ $# -eq 0 ] && echo korvane-sim
exit 0'

# host_tool NAME: the executable file NAME on the host's PATH (builtins included).
host_tool() {
    old_ifs=$IFS
    IFS=:
    for d in ${PATH:-/usr/bin:/bin}; do
        case "$d" in
        "$ROOT"/*) continue ;;
        esac
        if [ -f "$d/$1" ] && [ -x "$d/$1" ]; then
            IFS=$old_ifs
            echo "$d/$1"
            return 0
        fi
    done
    IFS=$old_ifs
    return 1
}

# Host tools that only act on the paths they are given (the firmware resolves them).
for t in echo cat rm cp mv mkdir rmdir du df sed grep awk sleep tar sync chmod touch sh \
         head tail ls printf cut tr sort wc test true false date basename dirname find \
         gzip ln env stat; do
    if p=$(host_tool "$t"); then
        ln -sfn "$p" "$ROOT/usr/bin/$t"
    fi
done
exit 0
