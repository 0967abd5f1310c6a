#!/usr/bin/env bash
# Fails when a firmware source spells an SCPI error number as a literal where an error code
# goes (returned, compared, chosen, passed or switched on) instead of its name from
# scpi/scpi_errors.def; names file:line. Comments, strings and character literals are ignored.
# Tests, the simulated hardware and the error list itself are not checked.
# Usage: tools/check_error_literals.sh [file...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
dirs=(core scpi device sweep level hw modulation remote config frontpanel selftest)
if [ "$#" -gt 0 ]; then
    files=("$@")
elif git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(for d in "${dirs[@]}"; do
        git ls-files --cached --others --exclude-standard "$d/*.cpp" "$d/*.h" "$d/*.def"
    done)
else
    mapfile -t files < <(for d in "${dirs[@]}"; do
        [ -d "$d" ] && find "$d" \( -name '*.cpp' -o -name '*.h' -o -name '*.def' \) -print
    done)
fi
keep=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue  # deleted but still in the index
    case "$f" in
        scpi/scpi_errors.def | scpi/scpi_errorcodes.h) ;;
        *) keep+=("$f") ;;
    esac
done
[ "${#keep[@]}" -gt 0 ] || {
    echo "no firmware sources"
    exit 0
}
# The numbers the list uses: -100 to -499. An error position is after return, case, ==, !=,
# ?, : or as a call argument (after "(" or ","); a number followed by ".", a digit or an
# exponent is a quantity, not a code.
bad="$(perl -ne '
    BEGIN { $in = 0; }
    my $line = $_;
    my $out = "";
    while (length $line) {
        if ($in) {
            if ($line =~ s{^.*?\*/}{}s) { $in = 0; next; }
            $line = "";
            last;
        }
        if ($line =~ s{^("(?:[^"\\]|\\.)*")}{}) { $out .= q{""}; next; }
        if ($line =~ s{^(\x27(?:[^\x27\\]|\\.)*\x27)}{}) { $out .= q{0}; next; }
        if ($line =~ m{^//}) { last; }
        if ($line =~ s{^/\*}{}) { $in = 1; $out .= " "; next; }
        $line =~ s{^([^"\x27/]+|/)}{} and $out .= $1;
    }
    if ($out =~ m{(?:\breturn|\bcase|==|!=|\?|:|\(|,)\s*-\s*[1-4][0-9][0-9](?![0-9.eExX_\x27])}) {
        print "$ARGV:$.: $_";
    }
    if (eof) { close ARGV; $in = 0; }
' "${keep[@]}")" || true
if [ -n "$bad" ]; then
    echo "SCPI error numbers as literals (use the names from scpi/scpi_errors.def):"
    echo "$bad"
    exit 1
fi
echo "${#keep[@]} files use error names"
