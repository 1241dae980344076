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
# and, for the check of imported functions, in functions/:
#
#   app/verapp.exe       linked against the new builds of libver.dll (by name), libord.dll (by
#                        ordinal: #5 and #7, and one name) and libdv.dll (delay-loaded)
#   new/, old/           those three DLLs as built, and older builds that lack two of libver's
#                        functions, libord's #7 and libdv's dv_new; also libcxxms.dll, below
#   app/fwdapp.exe       imports from libfwd.dll, whose exports forward to libtarget.dll (a
#                        function there and one missing, by name and by ordinal), into a loop
#                        (libloopa.dll <-> libloopb.dll), to an API-set contract, and to a DLL
#                        that exists nowhere
#   app/cxxapp.exe       a C++ program of clang's Microsoft target, importing two members of a
#                        class from libcxxms.dll (Microsoft-decorated names; the old build lacks
#                        one)
#   app/libcxxgnu.dll    the same class built by MinGW-w64 g++ (Itanium-decorated names)
#   app/newapi.exe       imports two functions of Windows 11's kernel32.dll that Wine 8 lacks
#   sys64/, sys32/       kernel32.dll and msvcrt.dll stand-ins that export every function the
#                        64-bit (32-bit) programs and DLLs above import from them
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

need=(x86_64-w64-mingw32-gcc x86_64-w64-mingw32-g++ i686-w64-mingw32-gcc i686-w64-mingw32-g++ clang
    ld.lld llvm-dlltool llvm-readobj x86_64-w64-mingw32-dlltool)
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

# --- Imported functions: DLL versions, ordinals, forwarders, delay-loading, C++ names. ---------
fn=$out/functions
mkdir -p "$fn/app" "$fn/new" "$fn/old" "$fn/sys64" "$work/fn"
cd "$work/fn"
defs() { # defs NAME EXPORT-LINE... : NAME.def
    local name=$1
    shift
    printf 'LIBRARY %s.dll\nEXPORTS\n' "$name" >"$name.def"
    printf '%s\n' "$@" >>"$name.def"
}
# A C file that defines each named function (an export line's first word, unless it is a forwarder).
cfuns() {
    for line in "$@"; do
        [[ $line == *=* ]] && continue
        printf 'int %s(void) { return 0; }\n' "${line%% *}"
    done
}
build_dll() { # build_dll FOLDER NAME EXPORT-LINE...
    local folder=$1 name=$2
    shift 2
    defs "$name" "$@"
    cfuns "$@" >"$name.c"
    echo 'int fixture_anchor(void) { return 0; }' >>"$name.c"
    # lld, because GNU ld cannot write a forwarder to an ordinal ("libtarget.#1").
    clang --target=x86_64-w64-mingw32 -fuse-ld=lld -O1 -s -shared -L"$libgcc64" \
        -o "$folder/$name.dll" "$name.c" "$name.def"
}
ver_new=(ver_open ver_close ver_read ver_new1 ver_new2)
ver_old=(ver_open ver_close ver_read)
ord_new=("ord_five @5 NONAME" "ord_seven @7 NONAME" "ord_named @9")
ord_old=("ord_five @5 NONAME" "ord_named @9")
dv_new=(dv_old dv_new)
dv_old=(dv_old)
build_dll "$fn/old" libver "${ver_old[@]}"
build_dll "$fn/old" libord "${ord_old[@]}"
build_dll "$fn/old" libdv "${dv_old[@]}"
build_dll "$fn/new" libver "${ver_new[@]}"
build_dll "$fn/new" libord "${ord_new[@]}"
build_dll "$fn/new" libdv "${dv_new[@]}"
for d in libver libord libdv; do # the new builds' import libraries, for lld
    llvm-dlltool -m i386:x86-64 -d $d.def -l $d.llvm.a
done
cat >verapp.c <<'C'
int ver_open(void), ver_close(void), ver_read(void), ver_new1(void), ver_new2(void);
int ord_five(void), ord_seven(void), ord_named(void);
int dv_old(void), dv_new(void);
int main(int argc, char **argv)
{
    (void)argv;
    if (argc > 5) {
        return dv_old() + dv_new();
    }
    return ver_open() + ver_close() + ver_read() + ver_new1() + ver_new2() + ord_five() +
           ord_seven() + ord_named();
}
C
clang --target=x86_64-w64-mingw32 -fuse-ld=lld -O1 -s -o "$fn/app/verapp.exe" verapp.c \
    -L"$libgcc64" libver.llvm.a libord.llvm.a libdv.llvm.a -Wl,--delayload=libdv.dll -ldelayimp

build_dll "$fn/app" libtarget target_fun
build_dll "$fn/app" libloopa "loop_fun = libloopb.loop_fun"
build_dll "$fn/app" libloopb "loop_fun = libloopa.loop_fun"
fwd=("fwd_ok = libtarget.target_fun" "fwd_gone = libtarget.not_there"
    "fwd_loop = libloopa.loop_fun" "fwd_api = api-ms-win-core-synch-l1-2-0.WakeByAddressAll"
    "fwd_nodll = libnowhere.nowhere_fun" "fwd_ord = libtarget.#1" "fwd_noord = libtarget.#9"
    own_fun)
build_dll "$fn/app" libfwd "${fwd[@]}"
defs libfwd_import fwd_ok fwd_gone fwd_loop fwd_api fwd_nodll fwd_ord fwd_noord own_fun
sed -i 's/libfwd_import/libfwd/' libfwd_import.def
x86_64-w64-mingw32-dlltool -d libfwd_import.def -l libfwd.lib.a
cat >fwdapp.c <<'C'
int fwd_ok(void), fwd_gone(void), fwd_loop(void), fwd_api(void), fwd_nodll(void);
int fwd_ord(void), fwd_noord(void), own_fun(void);
int main(void)
{
    return fwd_ok() + fwd_gone() + fwd_loop() + fwd_api() + fwd_nodll() + fwd_ord() + fwd_noord() +
           own_fun();
}
C
gcc64 -o "$fn/app/fwdapp.exe" fwdapp.c libfwd.lib.a

# A program built for a newer Windows than Wine 8 stands in for: it imports two functions of
# Windows 11's kernel32.dll.
printf 'LIBRARY KERNEL32.dll\nEXPORTS\nGetTempPath2W\nMapViewOfFile3\n' >newk32.def
x86_64-w64-mingw32-dlltool -d newk32.def -l newk32.a
cat >newapi.c <<'C'
#include <windows.h>
DWORD WINAPI GetTempPath2W(DWORD length, LPWSTR buffer);
PVOID WINAPI MapViewOfFile3(HANDLE, HANDLE, PVOID, ULONG64, SIZE_T, ULONG, ULONG, PVOID, ULONG);
int main(void)
{
    WCHAR path[MAX_PATH];
    return (int)GetTempPath2W(MAX_PATH, path) + (MapViewOfFile3(0, 0, 0, 0, 0, 0, 0, 0, 0) != 0);
}
C
gcc64 -o "$fn/app/newapi.exe" newapi.c newk32.a

cat >widget.h <<'C'
namespace foo {
class __declspec(dllexport) Widget {
public:
    void open();
    void close();
    static int count(int n);
};
} // namespace foo
C
cat >widget.cpp <<'C'
#include "widget.h"
void foo::Widget::open() {}
int foo::Widget::count(int n) { return n; }
#ifndef OLD_BUILD
void foo::Widget::close() {}
#endif
C
x86_64-w64-mingw32-g++ -O1 -s -shared -o "$fn/app/libcxxgnu.dll" widget.cpp
ms() { clang --target=x86_64-pc-windows-msvc -fuse-ld=lld -O1 -nostdlib "$@"; }
ms -shared -Wl,-noentry -o "$fn/new/libcxxms.dll" widget.cpp
ms -shared -Wl,-noentry -DOLD_BUILD -o "$fn/old/libcxxms.dll" widget.cpp
cat >cxxapp.cpp <<'C'
#include "widget.h"
extern "C" int start()
{
    foo::Widget w;
    w.open();
    w.close();
    return foo::Widget::count(1);
}
C
ms -Wl,-entry:start -Wl,-subsystem:console -o "$fn/app/cxxapp.exe" cxxapp.cpp "$fn/new/libcxxms.lib"
rm -f "$fn"/*/*.lib

# The system DLLs' stand-ins: every function that a fixture of their bitness imports from them.
stand_ins() { # stand_ins FOLDER COMPILER ENTRY FILE...
    local folder=$1 compiler=$2 entry=$3
    shift 3
    mkdir -p "$folder"
    echo 'int fixture_stub(void) { return 0; }' >stub.c
    for dll in kernel32 msvcrt; do
        printf 'LIBRARY %s.dll\nEXPORTS\n' "$dll" >"sys_$dll.def"
        for f in "$@"; do
            llvm-readobj --coff-imports "$f"
        done | awk -v dll="$dll.dll" '
            /^ *Name: / { keep = tolower($2) == dll }
            keep && /^ *Symbol: [^ ]/ { print $2 " = fixture_stub" }' | sort -u >>"sys_$dll.def"
        "$compiler" -O1 -s -shared -nostdlib -Wl,-e,"$entry" -o "$folder/$dll.dll" stub.c \
            "sys_$dll.def"
    done
}
stand_ins "$fn/sys64" x86_64-w64-mingw32-gcc fixture_stub "$out"/app64/*.exe "$out"/deps64/*.dll \
    "$fn"/*/*.exe "$fn"/*/*.dll
stand_ins "$fn/sys32" i686-w64-mingw32-gcc _fixture_stub "$out"/app32/*.exe \
    "$out"/toolchain32/*.dll

cd "$out"
rm -rf "$work"
touch READY
if [[ -n $stamp ]]; then
    touch "$stamp"
fi
