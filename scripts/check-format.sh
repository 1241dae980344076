#!/usr/bin/env bash
# Checks that every tracked C++ file is laid out as .clang-format says, with clang-format 14, and
# names each file that is not. With --fix, formats those files in place instead.
#   scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
if ! command -v "$format" >/dev/null; then
    format=clang-format
fi
if ! "$format" --version 2>/dev/null | grep -q 'version 14\.'; then
    echo "format: clang-format 14 is missing (scripts/setup-deps.sh --test installs it)" >&2
    exit 1
fi

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests fuzz bench tools -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi

"$format" --dump-config >/dev/null # a .clang-format it cannot read stops here

if [[ ${1:-} == --fix ]]; then
    "$format" -i "${files[@]}"
    exit 0
fi
# One run over all files; each place that would change is reported as FILE:LINE:COLUMN: ...
mapfile -t unformatted < <("$format" --dry-run "${files[@]}" 2>&1 |
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if ((${#unformatted[@]} > 0)); then
    printf 'format: not as .clang-format says: %s\n' "${unformatted[@]}" >&2
    echo "format: scripts/check-format.sh --fix formats them" >&2
    exit 1
fi
echo "format: ${#files[@]} C++ files as .clang-format says"
