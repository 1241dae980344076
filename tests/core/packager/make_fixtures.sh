#!/usr/bin/env bash
# Builds real Windows programs and DLLs for the packager tests with the MinGW-w64 cross compilers,
# clang and lld:
#
#   app64/app.exe        64-bit; imports liba.dll, libwrong.dll and an API-set contract, and
#                        delay-loads libdelay.dll
#   deps64/liba.dll      imports libb.dll          deps64/libb.dll  imports liba.dll (a cycle)
#                                                                    and libgone.dll (nowhere)
#   deps64/libdelay.dll  delay-loaded by app.exe
#   wrong32/liba.dll, wrong32/libwrong.dll         32-bit: of the wrong bitness for app.exe
#   app32/cxx.exe        32-bit C++, linked with libstdc++-6.dll and libgcc_s_dw2-1.dll
#   toolchain32/         those two runtime DLLs, copied from the i686 toolchain
#
# Usage: make_fixtures.sh OUTDIR [STAMP]. Writes OUTDIR/READY (and touches STAMP) when done, or
# OUTDIR/SKIPPED with the reason when a compiler is missing (scripts/setup-deps.sh --test installs
# them).
set -euo pipefail
out=$1
stamp=${2:-}
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

need=(x86_64-w64-mingw32-gcc i686-w64-mingw32-gcc i686-w64-mingw32-g++ clang ld.lld llvm-dlltool
    x86_64-w64-mingw32-dlltool)
for tool in "${need[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (scripts/setup-deps.sh --test installs it)" >"$out/SKIPPED"
        echo "packager fixtures: $(cat "$out/SKIPPED")" >&2
        exit 0
    fi
done

work=$out/work
mkdir -p "$work" "$out/app64" "$out/deps64" "$out/wrong32" "$out/app32" "$out/toolchain32"
cd "$work"

# Import libraries from .def files: the cycle needs each DLL's before the other is linked, and
# the API-set contract and libgone.dll exist only as names.
def() { # def NAME FUNCTION
    printf 'LIBRARY %s\nEXPORTS\n%s\n' "$1" "$2" >"$1.def"
}
def liba.dll a_fun
def libb.dll b_fun
def libgone.dll gone_fun
def libdelay.dll delay_fun
def libwrong.dll wrong_fun
def api-ms-win-core-synch-l1-2-0.dll WakeByAddressAll
for d in liba libb libgone; do
    x86_64-w64-mingw32-dlltool -d $d.dll.def -l $d.lib.a
done
# lld delay-loads only from short import libraries, which llvm-dlltool writes.
for d in liba libdelay libwrong api-ms-win-core-synch-l1-2-0; do
    llvm-dlltool -m i386:x86-64 -d $d.dll.def -l $d.llvm.a
done

cat >a.c <<'C'
int b_fun(void);
__declspec(dllexport) int a_fun(void) { return b_fun() + 1; }
C
cat >b.c <<'C'
int a_fun(void);
int gone_fun(void);
__declspec(dllexport) int b_fun(void) { return gone_fun() ? a_fun() : 2; }
C
cat >delay.c <<'C'
__declspec(dllexport) int delay_fun(void) { return 3; }
C
cat >wrong.c <<'C'
__declspec(dllexport) int wrong_fun(void) { return 4; }
__declspec(dllexport) int a_fun(void) { return 5; }
C
cat >app.c <<'C'
int a_fun(void);
int delay_fun(void);
int wrong_fun(void);
void __stdcall WakeByAddressAll(void *address);
int main(int argc, char **argv)
{
    (void)argv;
    if (argc > 5) {
        WakeByAddressAll(&argc);
        return delay_fun();
    }
    return a_fun() + wrong_fun();
}
C
cat >cxx.cpp <<'C'
#include <cstdio>
#include <string>
int main(int argc, char **)
{
    std::string s(static_cast<std::size_t>(argc), 'x');
    try {
        if (argc > 3) throw s;
    } catch (const std::string &e) {
        return static_cast<int>(e.size());
    }
    std::puts(s.c_str());
}
C

gcc64() { x86_64-w64-mingw32-gcc -O1 -s "$@"; }
gcc64 -shared -o "$out/deps64/liba.dll" a.c libb.lib.a
gcc64 -shared -o "$out/deps64/libb.dll" b.c liba.lib.a libgone.lib.a
gcc64 -shared -o "$out/deps64/libdelay.dll" delay.c
i686-w64-mingw32-gcc -O1 -s -shared -o "$out/wrong32/libwrong.dll" wrong.c
cp "$out/wrong32/libwrong.dll" "$out/wrong32/liba.dll"

# The program links with lld, which writes the delay-load import table.
libgcc64=$(dirname "$(x86_64-w64-mingw32-gcc -print-libgcc-file-name)")
clang --target=x86_64-w64-mingw32 -fuse-ld=lld -O1 -s -o "$out/app64/app.exe" app.c \
    -L"$libgcc64" liba.llvm.a libwrong.llvm.a api-ms-win-core-synch-l1-2-0.llvm.a libdelay.llvm.a \
    -Wl,--delayload=libdelay.dll -ldelayimp

i686-w64-mingw32-g++ -O1 -s -o "$out/app32/cxx.exe" cxx.cpp
for runtime in libstdc++-6.dll libgcc_s_dw2-1.dll; do
    cp "$(i686-w64-mingw32-g++ -print-file-name=$runtime)" "$out/toolchain32/"
done

cd "$out"
rm -rf "$work"
touch READY
if [[ -n $stamp ]]; then
    touch "$stamp"
fi
