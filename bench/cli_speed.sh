#!/usr/bin/env bash
# quorvane-cli imports/exports against binutils' objdump -p and llvm-readobj, in the same run:
#   1. one typical DLL (about 250 KB), process start included, averaged over many runs;
#   2. many DLLs in one call, time per file.
# Usage: bench/cli_speed.sh [path/to/quorvane-cli]   (default: build/release/src/cli/quorvane-cli,
#        built first)
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# == 0)); then
    bench/build-targets.sh build/release quorvane-cli
fi
cli=${1:-build/release/src/cli/quorvane-cli}
objdump=x86_64-w64-mingw32-objdump
readobj=llvm-readobj
for tool in "$cli" "$objdump" "$readobj"; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
dll=/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libatomic-1.dll
[[ -f $dll ]] || dll=/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
runs=300

# Milliseconds of processor time per run of a command (process start included), over $runs runs,
# through perf stat when it is there: on a shared machine the wall-clock time is mostly waiting
# for a core. Without perf, the wall-clock time.
per_run() {
    if command -v perf >/dev/null && perf stat -e task-clock true >/dev/null 2>&1; then
        perf stat -x, -r "$runs" -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ {printf "%.3f", $1}'
        return
    fi
    local start end
    start=$(date +%s%N)
    for ((i = 0; i < runs; ++i)); do "$@" >/dev/null 2>&1 || true; done
    end=$(date +%s%N)
    echo "scale=3; ($end - $start) / $runs / 1000000" | bc
}

echo "== one DLL, process start included: $dll ($(stat -c %s "$dll") bytes), $runs runs each"
q_imports=$(per_run "$cli" imports "$dll")
q_exports=$(per_run "$cli" exports "$dll")
o=$(per_run "$objdump" -p "$dll")
r=$(per_run "$readobj" --coff-imports --coff-exports "$dll")
echo "quorvane-cli imports   $q_imports ms"
echo "quorvane-cli exports   $q_exports ms"
echo "objdump -p             $o ms    (ratio objdump / quorvane imports: $(echo "scale=2; $o / $q_imports" | bc))"
echo "llvm-readobj           $r ms    (ratio llvm-readobj / quorvane imports: $(echo "scale=2; $r / $q_imports" | bc))"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
count=1000
for ((i = 0; i < count; ++i)); do cp "$dll" "$work/lib$i.dll"; done
echo "== $count DLLs in one call, time per file"
many() {
    local total
    runs=3 total=$(per_run "$@")
    echo "scale=4; $total / $count" | bc
}
mq=$(many "$cli" imports "$work"/*.dll)
mqe=$(many "$cli" exports "$work"/*.dll)
mr=$(many "$readobj" --coff-imports --coff-exports "$work"/*.dll)
echo "quorvane-cli imports   $mq ms/file"
echo "quorvane-cli exports   $mqe ms/file"
echo "llvm-readobj           $mr ms/file    (ratio llvm-readobj / quorvane imports+exports: $(echo "scale=2; $mr / ($mq + $mqe)" | bc))"
