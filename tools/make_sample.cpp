// quorvane_make_sample DIR: writes sample.exe (a 32-bit program) and sample64.dll (a 64-bit DLL)
// into DIR. Both are made here, byte by byte, by the tests' PE builder.
#include "support/PeBuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvane_make_sample DIR\n");
        return 64;
    }
    using quorvane::test::Bitness;
    using quorvane::test::PeBuilder;
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);

        PeBuilder exe;
        exe.bitness = Bitness::Pe32;
        exe.imports = {"KERNEL32.dll", "USER32.dll", "msvcrt.dll", "sample64.dll", "zlib1.dll"};
        exe.Build().WriteTo(dir / "sample.exe");

        PeBuilder dll;
        dll.bitness = Bitness::Pe32Plus;
        dll.isDll = true;
        dll.dllName = "sample64.dll";
        dll.imports = {"KERNEL32.dll", "ADVAPI32.dll"};
        dll.exports = {"SampleClose", "SampleOpen", "SampleRead", "SampleVersion"};
        dll.Build().WriteTo(dir / "sample64.dll");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quorvane_make_sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
