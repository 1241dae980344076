#!/usr/bin/env bash
# Installs what is missing, builds Quorvane, and opens its window on the project's own sample
# program. Without a display it says so and lists the same file with quorvane-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quorvane quorvane-cli quorvane_make_sample
samples=build/release/samples
build/release/tools/quorvane_make_sample "$samples"
sample="$samples/sample.exe"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec build/release/src/ui/quorvane "$sample"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): listing $sample with quorvane-cli instead of the window."
build/release/src/cli/quorvane-cli imports "$sample"
