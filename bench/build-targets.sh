#!/usr/bin/env bash
# What the benchmark scripts run first: installs what the benchmarks compare with (the test
# packages: MinGW-w64's binutils and compilers, llvm), configures BUILD_DIR with the benchmarks on
# (whatever an earlier configure chose) and builds the targets named.
#   bench/build-targets.sh BUILD_DIR TARGET...
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift

scripts/setup-deps.sh --test
if [[ $build == build/release ]]; then
    cmake --preset release >/dev/null # the preset turns the benchmarks on
else
    cmake -S . -B "$build" -DQUORVANE_BUILD_TESTS=ON -DQUORVANE_BUILD_BENCHMARKS=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target "$@" >/dev/null
