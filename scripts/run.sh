#!/usr/bin/env bash
# Installs what is missing, builds Quorvane, and runs it on the project's own sample program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset release -DQUORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" --target quorvane-cli quorvane_make_sample
samples=build/release/samples
build/release/tools/quorvane_make_sample "$samples"

echo "== quorvane-cli imports $samples/sample.exe"
build/release/src/cli/quorvane-cli imports "$samples/sample.exe"
echo "== quorvane-cli exports $samples/sample64.dll"
build/release/src/cli/quorvane-cli exports "$samples/sample64.dll"
