#!/usr/bin/env bash
# Fails when a firmware source reaches into the platform layer beyond the interfaces the
# instrument's co-kernel and drivers provide (platform/include, included by bare name): the
# firmware never sees the simulated hardware or its test peeks. Names file:line.
# Usage: tools/check_layering.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
dirs=(core scpi device sweep level hw modulation remote config frontpanel selftest)
interfaces=$(cd platform/include && ls)
status=0
for d in "${dirs[@]}"; do
    [ -d "$d" ] || continue
    while IFS= read -r hit; do
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        header=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"${rest#*:}")
        case "$header" in
            platform/include/*) ;;
            platform/* | sim_* | gio_* | */sim/*)
                echo "$file:$line: includes $header from the platform layer"
                status=1 ;;
            */*) ;;
            *)
                # A bare name must be one of the interfaces (or the file's own folder).
                if ! grep -qx "$header" <<<"$interfaces" && [ ! -f "$(dirname "$file")/$header" ]; then
                    echo "$file:$line: includes \"$header\", not an interface of the platform"
                    status=1
                fi ;;
        esac
    done < <(grep -rn --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$d" || true)
done
exit $status
