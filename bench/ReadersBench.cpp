// The readers' cost follows the number of names, not the size of the file: GetImportList on a
// 1 GiB file with small tables should take as long as on a small file with the same tables.
#include "core/pe/modPETables.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

using quorvane::test::PeBuilder;
using quorvane::test::TempDir;

TempDir &Dir()
{
    static TempDir dir;
    return dir;
}

const std::string &ExportsFile()
{
    static const std::string path = [] {
        PeBuilder b;
        b.bitness = quorvane::test::Bitness::Pe32Plus;
        b.isDll = true;
        for (int i = 0; i < 100000; ++i) {
            b.exports.push_back("ExportedFunction_" + std::to_string(1000000 + i));
        }
        return b.Build().WriteTo(Dir() / "exports100k.dll").string();
    }();
    return path;
}

std::string ImportsFile(std::uint64_t size)
{
    PeBuilder b;
    b.imports = {"KERNEL32.dll", "USER32.dll",   "GDI32.dll",    "ADVAPI32.dll", "SHELL32.dll",
                 "ole32.dll",    "OLEAUT32.dll", "COMCTL32.dll", "WS2_32.dll",   "msvcrt.dll"};
    const auto path = b.Build().WriteTo(Dir() / ("imports" + std::to_string(size) + ".exe"));
    if (size > 0) {
        std::filesystem::resize_file(path, size); // the rest of the file is sparse zeros
    }
    return path.string();
}

void BM_GetExportList_100kNames(benchmark::State &state)
{
    std::string list, status;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorvane::GetExportList(ExportsFile(), list, status));
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_GetExportList_100kNames)->Unit(benchmark::kMillisecond);

void BM_GetImportList(benchmark::State &state)
{
    const std::string path = ImportsFile(static_cast<std::uint64_t>(state.range(0)));
    std::string list, status;
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorvane::GetImportList(path, list, status));
    }
}
BENCHMARK(BM_GetImportList)->Arg(0)->Arg(1ll << 30)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
