#!/usr/bin/env bash
# Fails when a C++ source of the repository differs from its .clang-format form; names them.
# Usage: tools/check_format.sh [clang-format]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
format="${1:-clang-format}"
cd "$here"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) \
        -print)
fi
bad="$("$format" --dry-run --Werror "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' |
    sort -u)" || true
if [ -n "$bad" ]; then
    echo "not formatted (clang-format -i):"
    echo "$bad"
    exit 1
fi
echo "${#files[@]} files formatted"
