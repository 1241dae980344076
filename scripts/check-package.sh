#!/usr/bin/env bash
# Builds Quorvane's Debian package, installs it with dpkg -i, checks that the programs, the icon
# and the desktop entry are in place and that the programs run, then removes it with dpkg -r and
# checks that everything has gone. This changes the system: it needs root (or sudo) and refuses
# to run when a quorvane package is installed already.
#
#   scripts/check-package.sh              configure and build build/package, then check
#   scripts/check-package.sh BUILD_DIR    package an existing build (what the ctest test does)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "check-package: FAIL: $*" >&2
    exit 1
}
step() { echo "== $*"; }

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || fail "installing a package needs root or sudo"
    sudo=(sudo)
fi

installed() {
    dpkg-query -W -f='${Status}' quorvane 2>/dev/null | grep -q 'install ok installed'
}
if installed; then
    fail "a quorvane package is installed already; remove it first (dpkg -r quorvane)"
fi

# Building the package needs dpkg-shlibdeps (dpkg-dev) and file, besides the build itself.
scripts/setup-deps.sh --package

if [[ $# -ge 1 ]]; then
    build=$(cd "$1" && pwd)
else
    build=$PWD/build/package
    step "configure $build"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
        -DQUORVANE_BUILD_BENCHMARKS=OFF >/dev/null
fi
[[ -f "$build/quorvane-installed-programs.txt" ]] || fail "$build is not a configured build"
mapfile -t programs < <(grep -v '^$' "$build/quorvane-installed-programs.txt")
((${#programs[@]} > 0)) || fail "this build installs no program"
has_gui=false
for p in "${programs[@]}"; do [[ $p == quorvane ]] && has_gui=true; done

step "build ${programs[*]}"
# quorvane_docs: the manual pages and the changelog.
cmake --build "$build" -j "$(nproc)" --target "${programs[@]}" quorvane_docs >/dev/null

step "cpack -G DEB"
rm -f "$build"/quorvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quorvane_*.deb)
[[ -f ${debs[0]} ]] || fail "cpack made no quorvane_*.deb"
deb=${debs[0]}
echo "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == quorvane ]] || fail "package name is $(field Package)"
[[ -n $(field Maintainer) && -n $(field Section) && -n $(field Description) ]] ||
    fail "maintainer, section or description missing"
depends=$(field Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib"
done
if $has_gui; then
    for lib in libqt6widgets6 qt6-qpa-plugins; do
        [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib"
    done
fi

expected=()
for p in "${programs[@]}"; do expected+=("/usr/bin/$p"); done
if $has_gui; then
    expected+=(
        /usr/share/applications/quorvane.desktop
        /usr/share/icons/hicolor/32x32/apps/quorvane.png
        /usr/share/icons/hicolor/scalable/apps/quorvane.svg
    )
fi
expected+=(/usr/share/doc/quorvane/README.md /usr/share/doc/quorvane/copyright
    /usr/share/doc/quorvane/changelog.gz)
for p in "${programs[@]}"; do expected+=("/usr/share/man/man1/$p.1.gz"); done

remove() {
    if installed; then
        step "dpkg -r quorvane"
        "${sudo[@]}" dpkg -r quorvane >/dev/null
    fi
}
trap remove EXIT

step "dpkg -i $(basename "$deb")"
"${sudo[@]}" dpkg -i "$deb" >/dev/null || fail "dpkg -i failed (missing dependencies?)"
installed || fail "dpkg does not report quorvane as installed"

for f in "${expected[@]}"; do
    [[ -e $f ]] || fail "$f is missing after installing"
    dpkg -L quorvane | grep -qx "$f" || fail "$f is not listed as the package's"
done
for p in "${programs[@]}"; do
    [[ -x /usr/bin/$p ]] || fail "/usr/bin/$p is not executable"
    if ldd "/usr/bin/$p" | grep -q 'not found'; then
        fail "/usr/bin/$p has unresolved libraries: $(ldd "/usr/bin/$p" | grep 'not found')"
    fi
done

version=$(field Version)
out=$(cd / && env -i PATH=/usr/bin:/bin quorvane-cli --version)
[[ $out == "quorvane-cli $version" ]] || fail "quorvane-cli --version printed '$out'"
echo "$out"

if $has_gui; then
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate /usr/share/applications/quorvane.desktop ||
            fail "the desktop entry does not validate"
    fi
    # The desktop program keeps running until closed: alive after a few seconds means it started.
    status=0
    (cd / && QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/quorvane /usr/bin/quorvane-cli \
        >/dev/null 2>&1) || status=$?
    [[ $status -eq 124 ]] || fail "/usr/bin/quorvane ended with status $status at start-up"
    echo "quorvane started and kept running"
    if [[ -f /usr/share/applications/mimeinfo.cache ]]; then
        grep -q '^application/x-ms-dos-executable=.*quorvane.desktop' \
            /usr/share/applications/mimeinfo.cache ||
            fail "the desktop database does not offer quorvane for .exe files"
    fi
fi

trap - EXIT
step "dpkg -r quorvane"
"${sudo[@]}" dpkg -r quorvane >/dev/null
if installed; then fail "quorvane is still installed after dpkg -r"; fi
status=$(dpkg-query -W -f='${Status}' quorvane 2>/dev/null || true)
[[ -z $status || $status == *not-installed* ]] || fail "after dpkg -r the status is '$status'"
for f in "${expected[@]}"; do
    [[ ! -e $f ]] || fail "$f is still there after removing"
done
if [[ -f /usr/share/applications/mimeinfo.cache ]] &&
    grep -q 'quorvane.desktop' /usr/share/applications/mimeinfo.cache; then
    fail "the desktop database still offers quorvane"
fi

echo "check-package: OK ($(basename "$deb") installs and removes cleanly)"
