#!/usr/bin/env bash
# A fuzz campaign of one target, with the limits a finding is judged by: 2 s per input, 512 MiB.
#   scripts/fuzz-campaign.sh TARGET SECONDS [libFuzzer flags...]    e.g. fuzz_imports 3600 -runs=50000000
# SECONDS is processor time, so campaigns that share the cores still each get their full length.
# The corpus grows in build/campaign/TARGET (kept between campaigns) from the seeds in
# fuzz/corpus/TARGET; findings land in build/campaign/TARGET-findings/. At the end it prints the
# executions, the processor time, the coverage and the number of findings. Exit status: 0 when the
# time is up, otherwise libFuzzer's (a finding gives its non-zero status).
set -uo pipefail
cd "$(dirname "$0")/.."

if (($# < 2)); then
    sed -n '2,8p' "$0" >&2
    exit 64
fi
target=$1
seconds=$2
shift 2
binary=build/fuzz/fuzz/$target
if [[ ! -d fuzz/corpus/$target ]]; then
    echo "no seed corpus fuzz/corpus/$target" >&2
    exit 64
fi
if [[ ! -x $binary ]]; then
    cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target "$target" || exit 1
fi

work=build/campaign/$target
findings=build/campaign/$target-findings
mkdir -p "$work" "$findings"
log=build/campaign/$target.log
times=build/campaign/$target.times

TIMEFORMAT='%U %S'
# AddressSanitizer keeps freed blocks to catch late uses (256 MiB by default); 64 MiB of them is
# plenty for that, and leaves the memory limit to measure the program's own use.
# libFuzzer's -max_total_time counts wall-clock time; the loop stops the fuzzer by its processor
# time instead, with SIGINT, on which libFuzzer prints its final figures and exits with 72.
{ time {
    ASAN_OPTIONS=quarantine_size_mb=64 "$binary" -timeout=2 -rss_limit_mb=512 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$@" \
        "$work" "fuzz/corpus/$target" 2>"$log" &
    fuzzer=$!
    stopped=0
    while kill -0 "$fuzzer" 2>/dev/null; do
        used=$(ps -o cputimes= -p "$fuzzer" 2>/dev/null | tr -d ' ')
        if [[ -n $used ]] && ((used >= seconds)); then
            kill -INT "$fuzzer"
            stopped=1
            break
        fi
        sleep 5
    done
    wait "$fuzzer"
    status=$?
    if ((stopped && status == 72)); then
        status=0
    fi
}; } 2>"$times"

read -r user sys < <(tail -n 1 "$times")
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+')
echo "$target: ${executions:-?} executions in $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') s of processor time;" \
    "${coverage:-no coverage line}; $(find "$findings" -type f | wc -l) findings; exit $status"
echo "log: $log"
exit "$status"
