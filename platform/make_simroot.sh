#!/bin/sh
# Prepares a simulation root for the firmware: the directory tree, a serial number (the
# hardware configuration), the interface stanzas, the storage scripts, harmless stand-ins for
# the system tools the firmware runs, links to the safe host tools its shell commands use and
# each channel's factory calibration table (written by kr_make_calibration from the simulated
# hardware's level model).
# Safe to run again: stand-ins are refreshed; configuration files are only created, except
# that a serial number or configuration named on the command line replaces the stored one
# (and a changed serial number the calibration tables) and a port given with --port is written.
#
# The calibration tool is KR_MAKE_CALIBRATION, else kr_make_calibration in KR_BUILD_DIR, beside
# KR_FW_BINARY or in this repository's build/.
#
# usage: make_simroot.sh ROOT [SERIAL | --config NAME] [--port PORT]
#        make_simroot.sh --list
set -eu

# Ready configurations: name, serial number, description.
CONFIGS='1ch-20g 1C0-000B10000-0001 single-channel 20 GHz standard instrument (default)
4ch-fs-gpib 1C0-0B0B40010-0002 4-channel 20 GHz with the FS controller and GPIB
1ch-40g 1E0-000L10000-0003 single-channel 40 GHz instrument
1ch-20g-pe 1C0-000B10200-0004 single-channel 20 GHz with a step attenuator module at the output
2ch-fs-nec 1C0-0B0B20040-0005 2-channel 20 GHz with the FS controller and fast transitions (NEC)
1ch-20g-cont1e 1C0-030B10000-0006 single-channel 20 GHz with control board 1E (user DAC on the function output)
1ch-fs-trains 110-0B0B10000-0007 single-channel instrument with the FS controller and pulse trains
1ch-40g-mod 1E0-0B0L1000B-0008 single-channel 40 GHz with the FS controller and the modulation option (FM, PM, FSK, AM)'

usage() {
    echo "usage: $0 ROOT [SERIAL | --config NAME] [--port PORT]" >&2
    echo "       $0 --list" >&2
    exit 2
}

if [ "${1:-}" = "--list" ]; then
    printf '%s\n' "$CONFIGS"
    exit 0
fi
[ $# -ge 1 ] && [ -n "$1" ] || usage
ROOT_ARG=$1
shift
SERIAL=
PORT=
while [ $# -gt 0 ]; do
    case "$1" in
    --config)
        [ $# -ge 2 ] || usage
        SERIAL=$(printf '%s\n' "$CONFIGS" | awk -v n="$2" '$1 == n { print $2 }')
        if [ -z "$SERIAL" ]; then
            echo "make_simroot.sh: unknown configuration '$2'; known:" >&2
            printf '%s\n' "$CONFIGS" | awk '{ print "    " $1 }' >&2
            exit 2
        fi
        shift 2 ;;
    --port)
        [ $# -ge 2 ] || usage
        case "$2" in
        ''|*[!0-9]*) echo "make_simroot.sh: port must be a number" >&2; exit 2 ;;
        esac
        PORT=$2
        shift 2 ;;
    -*) usage ;;
    *)
        [ -z "$SERIAL" ] || usage
        SERIAL=$1
        shift ;;
    esac
done
case "$SERIAL" in
*[!0-9A-Za-z-]*) echo "make_simroot.sh: serial number may hold letters, digits and '-' only" >&2; exit 2 ;;
esac

mkdir -p "$ROOT_ARG"
ROOT=$(cd "$ROOT_ARG" && pwd -P)
case "$ROOT" in
*\'*) echo "make_simroot.sh: root path must not contain a single quote" >&2; exit 2 ;;
esac
LOG="$ROOT/media/ram/sim_actions.log"

for d in korvane/dev/conf korvane/cust/list korvane/cust/flatness korvane/temp media/ram \
         storage root etc/network etc/init.d dev bin sbin usr/bin usr/sbin; do
    mkdir -p "$ROOT/$d"
done
touch "$LOG"

# Configuration the system image supplies; never overwritten unless asked for. Another
# instrument's calibration tables do not fit this one.
if [ -n "$SERIAL" ]; then
    if [ "$(cat "$ROOT/korvane/dev/sn" 2>/dev/null)" != "$SERIAL" ]; then
        rm -f "$ROOT"/korvane/dev/calibration*.csv
    fi
    printf '%s' "$SERIAL" > "$ROOT/korvane/dev/sn"
    rm -f "$ROOT/korvane/dev/sn_all"
elif [ ! -e "$ROOT/korvane/dev/sn" ]; then
    printf '%s' "1C0-000B10000-0001" > "$ROOT/korvane/dev/sn"
fi
if [ -n "$PORT" ]; then
    printf 'port %s\nmses 0\n' "$PORT" > "$ROOT/korvane/dev/conf/eth0_other_conf"
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

# Factory calibration tables for the tables missing (a user's own are kept).
repo=$(cd "$(dirname "$0")/.." && pwd -P)
tool=${KR_MAKE_CALIBRATION:-}
if [ -z "$tool" ]; then
    for d in ${KR_BUILD_DIR:-} ${KR_FW_BINARY:+"$(dirname "$KR_FW_BINARY")"} "$repo/build"; do
        if [ -x "$d/kr_make_calibration" ]; then
            tool=$d/kr_make_calibration
            break
        fi
    done
fi
if [ -n "$tool" ] && [ -x "$tool" ]; then
    "$tool" "$ROOT" >/dev/null
else
    echo "make_simroot.sh: kr_make_calibration not found (build it or set KR_MAKE_CALIBRATION):" \
        "no calibration tables written" >&2
fi
exit 0
