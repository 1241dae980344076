// Writes a program and its DLLs for the packager benchmark: DIR/app.exe importing lib0000.dll, and
// COUNT DLLs lib0000.dll ... each importing FANOUT others (cycles included) and two system DLLs,
// one of them also delay-loading a DLL. Every file is a valid PE32+ image of the PE builder.
//
//   quorvane_make_packager_corpus DIR COUNT FANOUT
#include "support/PeBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string LibName(long i)
{
    char name[32];
    std::snprintf(name, sizeof name, "lib%04ld.dll", i);
    return name;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR COUNT FANOUT\n", argv[0]);
        return 64;
    }
    const std::filesystem::path dir = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    const long fanout = std::strtol(argv[3], nullptr, 10);
    if (count < 1 || fanout < 0) {
        std::fprintf(stderr, "COUNT must be at least 1 and FANOUT at least 0\n");
        return 64;
    }
    std::filesystem::create_directories(dir);
    using quorvane::test::Bitness;
    using quorvane::test::PeBuilder;
    PeBuilder app;
    app.bitness = Bitness::Pe32Plus;
    app.imports = {"KERNEL32.dll", "msvcrt.dll", LibName(0)};
    app.Build().WriteTo(dir / "app.exe");
    for (long i = 0; i < count; ++i) {
        PeBuilder dll;
        dll.bitness = Bitness::Pe32Plus;
        dll.isDll = true;
        dll.dllName = LibName(i);
        dll.imports = {"KERNEL32.dll", "msvcrt.dll"};
        // The next DLL keeps the chain going; the others reach back and forth across it.
        dll.imports.push_back(LibName((i + 1) % count));
        for (long k = 1; k < fanout; ++k) {
            dll.imports.push_back(LibName((i * 7 + k * 13) % count));
        }
        if (i % 10 == 0) {
            dll.delayImports = {LibName((i + count / 2) % count)};
        }
        dll.exports = {"Entry" + std::to_string(i)};
        dll.Build().WriteTo(dir / LibName(i));
    }
    return 0;
}
