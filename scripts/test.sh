#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --test
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
# The window tests run on Qt's offscreen platform: no display needed.
QT_QPA_PLATFORM=offscreen ctest --preset release -j "$(nproc)"
