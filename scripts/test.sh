#!/usr/bin/env bash
# Installs what is missing, checks the include graph against the libraries' dependencies and the
# C++ files against .clang-format, builds with warnings as errors, and runs every test: in the
# release build, again under AddressSanitizer and UndefinedBehaviorSanitizer (preset dev), in the
# Windows cross build under Wine (preset windows, with the same-answers check and the zip),
# lintian over the Debian package, and then each fuzz target for a minute over its corpus (preset
# fuzz, when clang is there).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup-deps.sh --test
# The window tests run on Qt's offscreen platform: no display needed.
export QT_QPA_PLATFORM=offscreen

echo "== layout and format"
scripts/check-layout.sh
scripts/check-format.sh

echo "== release build and tests"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

echo "== sanitizer build (ASan, UBSan) and tests"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ctest --preset dev -j "$jobs"

echo "== Windows: cross build, its tests under Wine, the same answers as on Linux, the zip"
windows_start=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# A throwaway Wine prefix: the first test makes it afresh (wineboot, headless).
rm -rf build/windows/wine-prefix build/windows/wine-prefix.lock
ctest --preset windows -j "$jobs"
scripts/same-answers.sh build/release build/windows
scripts/check-windows-zip.sh build/windows
echo "Windows stage: $((SECONDS - windows_start)) s"

echo "== Debian package: lintian"
rm -f build/release/quorvane_*.deb
(cd build/release && cpack -G DEB >/dev/null)
lintian --fail-on error,warning build/release/quorvane_*.deb
echo "lintian: no error, no warning"

if command -v clang++ >/dev/null; then
    echo "== fuzz targets, ${QUORVANE_FUZZ_SECONDS:-60} s each"
    # Each folder of fuzz/corpus belongs to the target of the same name.
    targets=()
    for corpus in fuzz/corpus/*/; do
        targets+=("$(basename "$corpus")")
    done
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs" --target "${targets[@]}"
    work=$(mktemp -d)
    for target in "${targets[@]}"; do
        corpus=fuzz/corpus/$target
        # A copy, so that what a run adds stays out of the repository.
        cp -r "$corpus" "$work/$target"
        # The 512 MiB limit is for the program's own memory: AddressSanitizer's hold on freed blocks
        # (256 MiB by default) is kept to 64 MiB so that it does not count for most of it.
        if ! ASAN_OPTIONS=quarantine_size_mb=64 build/fuzz/fuzz/"$target" -timeout=2 \
            -max_total_time="${QUORVANE_FUZZ_SECONDS:-60}" -rss_limit_mb=512 -print_final_stats=1 \
            -artifact_prefix="$work/$target-" "$work/$target" 2>"$work/$target.log"; then
            tail -n 60 "$work/$target.log"
            echo "fuzz target $target failed; its input and log are kept in $work" >&2
            exit 1
        fi
        echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1)"
    done
    rm -rf "$work"
else
    echo "== no clang: fuzz targets skipped (scripts/setup-deps.sh --test installs it)"
fi
