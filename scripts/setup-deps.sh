#!/usr/bin/env bash
# Installs the Debian 12 packages Quorvane needs, and nothing when they are all there already.
#   scripts/setup-deps.sh          what building and running needs
#   scripts/setup-deps.sh --test   also what the tests need
#   scripts/setup-deps.sh --package   also what building the Debian package needs
set -euo pipefail

packages=(
    cmake g++ make pkgconf
    qt6-base-dev qt6-qpa-plugins libgl-dev
    libcli11-dev nlohmann-json3-dev
    # LLVM's demangler, for readable C++ names (linked statically)
    llvm-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-liberation
    # quorvane-cli's manual page is made from its --help.
    help2man
)
if [[ "${1:-}" == "--test" ]]; then
    packages+=(
        # Real Windows DLLs and an independent PE reader to compare with.
        mingw-w64-x86-64-dev mingw-w64-i686-dev binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
        # clang's libFuzzer for the fuzz targets; the formatter that scripts/check-format.sh holds
        # every C++ file to.
        clang libclang-rt-14-dev clang-format-14
        # Real 32- and 64-bit programs and DLLs for the packager tests: the cross compilers, and
        # lld and llvm-dlltool, which write delay-load import tables.
        gcc-mingw-w64-x86-64-win32 gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32
        lld llvm
        # The Windows build: the cross compilers whose C++ library has std::thread, GoogleTest's
        # sources to build for Windows, and Wine to run the programs.
        g++-mingw-w64-x86-64-posix googletest wine64
        # lintian checks the Debian package; it needs dpkg-dev and file, as building it does.
        lintian dpkg-dev file
    )
fi
if [[ "${1:-}" == "--package" ]]; then
    # dpkg-shlibdeps works out the package's library dependencies; CPack runs file on each binary.
    packages+=(dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
