#!/usr/bin/env bash
# Measures quorvane-cli's packager commands against x86_64-w64-mingw32-objdump -p over the same
# files, in the same run:
#
#   1. tree: the whole closure of a program with 120 DLLs that import each other (cycles too),
#      built by the MinGW-w64 cross compiler when it is installed (else by the PE builder), every
#      imported function checked against the export table of the DLL found for it, against
#      objdump -p over the program and its 120 DLLs, the first step of any script that would
#      follow the chain (objdump only lists the tables: no search, no closure, no check);
#   2. report: 1,000 PE files (the PE builder's) read on one and on both cores, against objdump -p
#      over the same files in one process and in two (xargs -P2).
#
#   bench/packager_bench.sh [BUILD_DIR]      (default build/release; builds what it needs)
#
# Each figure is the median of several runs, in milliseconds, process start included.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
runs=${RUNS:-7}

bench/build-targets.sh "$build" quorvane-cli quorvane_make_packager_corpus
cli=$build/src/cli/quorvane-cli
make_corpus=$build/bench/quorvane_make_packager_corpus
objdump=x86_64-w64-mingw32-objdump
command -v $objdump >/dev/null || { echo "$objdump is missing (scripts/setup-deps.sh --test)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sys"

# Median wall time of a command, in milliseconds.
median_ms() {
    local times=() start end
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", b / a}'; }

# --- 1. the closure of a program with 120 DLLs ----------------------------------------------------
app=$work/app
mkdir -p "$app"
kind="PE builder"
if command -v x86_64-w64-mingw32-gcc >/dev/null && command -v x86_64-w64-mingw32-dlltool >/dev/null; then
    kind="MinGW-w64 gcc"
    src=$work/src
    mkdir -p "$src"
    n=120
    name() { printf 'lib%04d' "$1"; }
    # Import libraries first, from .def files, so that DLLs can import each other in cycles.
    for ((i = 0; i < n; i++)); do
        printf 'LIBRARY %s.dll\nEXPORTS\nf%d\n' "$(name $i)" "$i" >"$src/$(name $i).def"
        x86_64-w64-mingw32-dlltool -d "$src/$(name $i).def" -l "$src/$(name $i).a"
    done
    for ((i = 0; i < n; i++)); do
        deps=($(((i + 1) % n)) $(((i * 7 + 13) % n)) $(((i * 7 + 26) % n)))
        {
            for d in "${deps[@]}"; do echo "int f$d(void);"; done
            # Real calls, so that the linker keeps every import (never run: the calls loop).
            printf '__declspec(dllexport) int f%d(void) { return 0' "$i"
            for d in "${deps[@]}"; do printf ' + f%d()' "$d"; done
            echo '; }'
        } >"$src/$(name $i).c"
        libs=()
        for d in "${deps[@]}"; do libs+=("$src/$(name $d).a"); done
        echo x86_64-w64-mingw32-gcc -O1 -s -shared -o "$app/$(name $i).dll" "$src/$(name $i).c" "${libs[@]}"
    done | xargs -P2 -I{} sh -c '{}'
    echo 'int f0(void); int main(void) { return f0(); }' >"$src/app.c"
    x86_64-w64-mingw32-gcc -O1 -s -o "$app/app.exe" "$src/app.c" "$src/lib0000.a"
else
    "$make_corpus" "$app" 120 4
fi
# Stand-ins for the two system DLLs that export every function the program and its DLLs import
# from them, so that every import is checked and found. (The PE builder's DLLs import ordinal 1,
# which a copy of any of its DLLs exports.)
for dll in kernel32.dll msvcrt.dll; do cp "$app/lib0000.dll" "$work/sys/$dll"; done
if [[ $kind != "PE builder" ]]; then
    for dll in kernel32 msvcrt; do
        {
            printf 'LIBRARY %s.dll\nEXPORTS\n' "$dll"
            "$cli" imports --functions "$app"/* | awk -v dll="$dll.dll" '
                /^[^\t]/ { next }
                /^\t[^\t]/ { keep = tolower($1) == dll; next }
                keep { sub(/^\t\t/, ""); sub(/ \(hint [0-9]+\)$/, ""); print $0 " = bench_stub" }' |
                sort -u
        } >"$src/sys_$dll.def"
        echo 'int bench_stub(void) { return 0; }' >"$src/stub.c"
        x86_64-w64-mingw32-gcc -O1 -s -shared -nostdlib -Wl,-e,bench_stub \
            -o "$work/sys/$dll.dll" "$src/stub.c" "$src/sys_$dll.def"
    done
fi
files=("$app"/*)
functions=$("$cli" imports --functions "${files[@]}" | grep -c $'^\t\t')
"$cli" tree "$app/app.exe" --system-dir="$work/sys" | head -1
tree_ms=$(median_ms "$cli" tree "$app/app.exe" --system-dir="$work/sys")
tree_json_ms=$(median_ms "$cli" tree "$app/app.exe" --system-dir="$work/sys" --json)
obj_ms=$(median_ms "$objdump" -p "${files[@]}")
echo
echo "closure of a program with $((${#files[@]} - 1)) DLLs ($kind), $functions imported functions checked, median of $runs runs:"
echo "  quorvane-cli tree           ${tree_ms} ms"
echo "  quorvane-cli tree --json    ${tree_json_ms} ms"
echo "  objdump -p over the ${#files[@]} files ${obj_ms} ms"
echo "  ratio objdump / tree        $(ratio "$tree_ms" "$obj_ms")x"

# --- 2. a report over 1,000 PE files --------------------------------------------------------------
many=$work/many
"$make_corpus" "$many" 999 5
count=$(find "$many" -type f | wc -l)
report1_ms=$(median_ms "$cli" report "$many" --system-dir="$work/sys" --jobs=1)
report2_ms=$(median_ms "$cli" report "$many" --system-dir="$work/sys" --jobs=2)
obj1_ms=$(median_ms "$objdump" -p "$many"/*)
obj2_ms=$(median_ms sh -c "find '$many' -type f -print0 | xargs -0 -n 500 -P2 $objdump -p")
cpu="not measured (no /usr/bin/time)"
if [[ -x /usr/bin/time ]]; then
    cpu=$( { /usr/bin/time -f '%P' "$cli" report "$many" --system-dir="$work/sys" --jobs=2 >/dev/null; } 2>&1 | tail -1)
fi
echo
echo "report over $count PE files, median of $runs runs (load average now: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores):"
echo "  quorvane-cli report --jobs=1   ${report1_ms} ms"
echo "  quorvane-cli report --jobs=2   ${report2_ms} ms   ($(ratio "$report2_ms" "$report1_ms")x the speed of one; CPU use $cpu)"
echo "  objdump -p, one process        ${obj1_ms} ms"
echo "  objdump -p, two processes      ${obj2_ms} ms"
echo "  ratio objdump (1) / report (1) $(ratio "$report1_ms" "$obj1_ms")x"
echo "  ratio objdump (2) / report (2) $(ratio "$report2_ms" "$obj2_ms")x"
