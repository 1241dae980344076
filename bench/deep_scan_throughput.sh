#!/usr/bin/env bash
# How fast the deep scan reads a 1 GiB file from the page cache, next to a plain read of the same
# file and to ripgrep looking for the same names, all measured in this run; then the hostile
# inputs at 128 and 256 MiB. Prints figures and ratios; fails only when something cannot run.
#
#   bench/deep_scan_throughput.sh [BUILD_DIR]     (default: build/release)
#
# The input is made of real binaries (MinGW-w64's Windows DLLs and import libraries where they are
# installed, and the system's shared libraries) repeated to 1 GiB, in the temporary folder, and is
# deleted at the end. Run it on a quiet machine: see `uptime`.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
runs=${RUNS:-5}
size=$((1024 * 1024 * 1024))

bench/build-targets.sh "$build" quorvane_bench_deepscan quorvane-cli
cli=$build/src/cli/quorvane-cli
bench=$build/bench/quorvane_bench_deepscan

if ! command -v rg >/dev/null; then
    echo "Installing ripgrep (Debian's package), to compare with"
    sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq ripgrep >/dev/null
fi

input=$(mktemp "${TMPDIR:-/tmp}/quorvane-deepscan-XXXXXX")
trap 'rm -f "$input"' EXIT

echo "Building a 1 GiB input from real binaries in $input"
sources=()
for folder in /usr/x86_64-w64-mingw32/lib /usr/i686-w64-mingw32/lib /usr/lib/x86_64-linux-gnu; do
    [[ -d $folder ]] || continue
    while IFS= read -r -d '' file; do
        sources+=("$file")
    done < <(find "$folder" -maxdepth 1 -type f -size +0 -print0 | sort -z)
done
while (($(stat -c %s "$input") < size)); do
    cat "${sources[@]}" >>"$input" 2>/dev/null
done
truncate -s "$size" "$input"
cat "$input" >/dev/null # into the page cache

# best_of COMMAND...: the shortest wall-clock time and the shortest processor time (user + system)
# of $runs runs, in seconds: "WALL CPU". On a busy machine the processor time is the steadier.
best_of() {
    local wall=1e30 cpu=1e30 times TIMEFORMAT='%R %U %S'
    for ((i = 0; i < runs; i++)); do
        # ripgrep exits 1 when it finds nothing
        times=$({ time "$@" >/dev/null 2>&1 || true; } 2>&1)
        read -r wall cpu < <(awk -v t="$times" -v w="$wall" -v c="$cpu" 'BEGIN {
            split(t, f, " "); u = f[2] + f[3]
            print (f[1] < w ? f[1] : w), (u < c ? u : c) }')
    done
    echo "$wall $cpu"
}

echo "Load before measuring: $(uptime)"
names=$("$cli" deep "$input" | wc -l)
read -r plain plainCpu < <(best_of cat "$input")
read -r deep deepCpu < <(best_of "$cli" deep "$input")
read -r ripgrep ripgrepCpu < <(best_of rg --text --ignore-case --only-matching \
    '[a-z0-9,]+\.(dll|ocx|sys|drv|tlb)' "$input")

gbps() { awk -v t="$1" -v n="$size" 'BEGIN { printf "%.2f", n / t / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo
echo "1 GiB from the page cache, best of $runs ($names distinct names found):"
echo "                                      wall             processor"
row() { printf '  %-34s %6.3f s %5s GB/s  %6.3f s\n' "$1" "$2" "$(gbps "$2")" "$3"; }
row "cat FILE >/dev/null" "$plain" "$plainCpu"
row "quorvane-cli deep FILE" "$deep" "$deepCpu"
row "rg -a -i -o NAME-PATTERN FILE" "$ripgrep" "$ripgrepCpu"
echo "  deep scan / plain read:  $(ratio "$deep" "$plain") wall, $(ratio "$deepCpu" "$plainCpu") processor   (must stay below 2)"
echo "  deep scan / ripgrep:     $(ratio "$deep" "$ripgrep") wall, $(ratio "$deepCpu" "$ripgrepCpu") processor   (must stay below 1)"
echo

echo "The same file in one program: a read loop against the scan"
QUORVANE_BENCH_FILE=$input "$bench" --benchmark_filter='^File/' --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_color=false
echo

echo "Hostile inputs, 256 MiB against 128 MiB (must stay below 2.2)"
"$bench" --benchmark_filter='Points|NameChars|XDllPoint' --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_color=false
