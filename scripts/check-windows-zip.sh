#!/usr/bin/env bash
# Makes the Windows zip of a cross build (cpack -G ZIP), unpacks it into an empty folder and runs
# the quorvane-cli.exe in it under Wine, as a Windows user would after unzipping: it must need no
# DLL but Windows' own (tree on itself), and answer tree on a real program.
#
#   scripts/check-windows-zip.sh [WINDOWS_BUILD]    default: build/windows
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build/windows}" && pwd)
wine=$root/cmake/toolchains/wine-run.sh
prefix=$build/wine-prefix
fail() {
    echo "check-windows-zip: FAIL: $*" >&2
    exit 1
}

rm -f "$build"/quorvane-cli-*.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zips=("$build"/quorvane-cli-*.zip)
[[ -f ${zips[0]} ]] || fail "cpack made no quorvane-cli-*.zip in $build"
zip=${zips[0]}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
folder=$work/$(basename "$zip" .zip)
mapfile -t contents < <(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[[ ${contents[*]} == "LICENSE README.md quorvane-cli.exe" ]] ||
    fail "the zip holds '${contents[*]}', not quorvane-cli.exe, README.md and LICENSE"

cd "$folder"
status=0
# (Windows ends its lines with CR LF.)
self=$("$wine" "$prefix" quorvane-cli.exe tree quorvane-cli.exe 2>&1 | tr -d '\r') || status=$?
echo "$self"
[[ $status -eq 0 ]] || fail "tree quorvane-cli.exe ended with status $status"
# Every DLL it found is one of Windows' own, in the system folder; none is missing.
found=$(grep -c ' => ' <<<"$self" || true)
system=$(grep -c ' => C:\\windows\\system32\\.* \[system\]$' <<<"$self" || true)
((found > 0 && found == system)) || fail "quorvane-cli.exe needs a DLL that is not Windows' own"

fixtures=$build/tests/core/packager/fixtures
if [[ -f $fixtures/READY ]]; then
    cp "$fixtures/app64/app.exe" "$fixtures"/deps64/*.dll .
    status=0
    app=$("$wine" "$prefix" quorvane-cli.exe tree --missing-only app.exe 2>&1 | tr -d '\r') ||
        status=$?
    echo "$app"
    # libb.dll needs libgone.dll, which exists nowhere; libwrong.dll was not copied.
    [[ $status -eq 1 && $app == "app.exe: 2 missing"* && $app == *"libgone.dll: app.exe -> liba.dll -> libb.dll -> libgone.dll"* ]] ||
        fail "tree app.exe answered with status $status"
fi
echo "check-windows-zip: OK ($(basename "$zip"): $(du -k "$zip" | cut -f1) KiB)"
