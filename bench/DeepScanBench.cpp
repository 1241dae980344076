// The deep scan against a plain read of the same file, measured in the same run, and on inputs
// built to make a naive scan quadratic, at two sizes: the larger must cost about twice the smaller.
//
//   quorvane_bench_deepscan                    builds its inputs in the temporary folder
//   QUORVANE_BENCH_FILE=PATH quorvane_bench_deepscan --benchmark_filter=File
//                                              the plain read and the scan of that file only
//
// After the figures it prints the ratios: scan time / plain-read time, and large / small for each
// hostile input.
#include "core/scan/DeepScan.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unistd.h>

namespace {

using quorvane::test::TempDir;

constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};
constexpr std::uint64_t kMiB = 1024 * 1024;

TempDir &Dir()
{
    static TempDir dir;
    return dir;
}

// Writes size bytes made of pattern repeated.
std::string WriteRepeated(const std::string &name, const std::string &pattern, std::uint64_t size)
{
    const auto path = Dir() / name;
    if (std::filesystem::exists(path)) {
        return path.string();
    }
    std::string block;
    while (block.size() < kMiB) {
        block += pattern;
    }
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t written = 0; written < size;) {
        const auto count = std::min<std::uint64_t>(block.size(), size - written);
        out.write(block.data(), static_cast<std::streamsize>(count));
        written += count;
    }
    return path.string();
}

// Real Windows binaries where Debian has them (MinGW-w64's DLLs and import libraries, full of DLL
// names), else the system's own shared libraries: ordinary machine code, tables and strings.
std::string WriteOrdinary(std::uint64_t size)
{
    const auto path = Dir() / ("ordinary" + std::to_string(size / kMiB));
    if (std::filesystem::exists(path)) {
        return path.string();
    }
    std::vector<std::filesystem::path> sources;
    for (const char *folder : {"/usr/x86_64-w64-mingw32/lib", "/usr/i686-w64-mingw32/lib",
                               "/usr/lib/x86_64-linux-gnu", "/usr/lib"}) {
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.is_regular_file(error) && entry.file_size(error) > 0) {
                sources.push_back(entry.path());
            }
        }
        if (sources.size() > 50) {
            break;
        }
    }
    std::ofstream out(path, std::ios::binary);
    std::vector<char> buffer(kMiB);
    std::uint64_t written = 0;
    while (written < size && !sources.empty()) {
        for (const auto &source : sources) {
            std::ifstream in(source, std::ios::binary);
            while (written < size &&
                   in.read(buffer.data(), static_cast<std::streamsize>(kMiB)).gcount() > 0) {
                const auto count = std::min<std::uint64_t>(static_cast<std::uint64_t>(in.gcount()),
                                                           size - written);
                out.write(buffer.data(), static_cast<std::streamsize>(count));
                written += count;
            }
            if (written >= size) {
                break;
            }
        }
    }
    return path.string();
}

// What reading the file costs without looking at it: the same pieces, the same system call, into
// a page-aligned buffer as the scan's (and cat's) are.
void PlainRead(const std::string &path)
{
    static const std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char *>(std::aligned_alloc(4096, quorvane::kDeepScanChunkSize)), &std::free);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (::read(fd, buffer.get(), quorvane::kDeepScanChunkSize) > 0) {
    }
    ::close(fd);
}

void ScanFile(benchmark::State &state, const std::string &path)
{
    std::size_t names = 0;
    for (auto _ : state) {
        const auto result = quorvane::RunDeepScan(path, kAllTypes);
        names = result.scratch.size();
        benchmark::DoNotOptimize(names);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    state.counters["names"] = static_cast<double>(names);
}

void ReadFile(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        PlainRead(path);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// Keeps each benchmark's time per iteration, wall-clock and processor, the fastest repetition when
// there are several, to print the ratios at the end. On a busy machine the processor time is the
// steadier of the two.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const std::string &name = run.run_name.function_name;
            const Times times{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
                fastest[name] = times;
                fromAggregate.insert(name);
            } else if (run.run_type == Run::RT_Iteration && !fromAggregate.count(name)) {
                const auto known = fastest.find(name);
                fastest[name] = known == fastest.end()
                                    ? times
                                    : Times{std::min(known->second.wall, times.wall),
                                            std::min(known->second.cpu, times.cpu)};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Times {
        double wall = 0;
        double cpu = 0;
    };
    std::map<std::string, Times> fastest;
    std::set<std::string> fromAggregate;
};

double Fastest(const std::vector<double> &times)
{
    return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

void Register(const std::string &name, void (*run)(benchmark::State &, const std::string &),
              const std::string &path)
{
    benchmark::RegisterBenchmark(name.c_str(), run, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", Fastest);
}

void PrintRatio(const RatioReporter &reporter, const std::string &a, const std::string &b)
{
    const auto x = reporter.fastest.find(a);
    const auto y = reporter.fastest.find(b);
    if (x != reporter.fastest.end() && y != reporter.fastest.end() && y->second.wall > 0 &&
        y->second.cpu > 0) {
        std::printf("%-52s %6.2f %6.2f\n", (a + " / " + b).c_str(), x->second.wall / y->second.wall,
                    x->second.cpu / y->second.cpu);
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::vector<std::pair<std::string, std::string>> ratios;
    if (const char *file = std::getenv("QUORVANE_BENCH_FILE"); file && *file) {
        const std::string path = file;
        Register("File/PlainRead", ReadFile, path);
        Register("File/DeepScan", ScanFile, path);
        ratios.emplace_back("File/DeepScan", "File/PlainRead");
    } else {
        const std::string ordinary = WriteOrdinary(256 * kMiB);
        Register("Ordinary256MiB/PlainRead", ReadFile, ordinary);
        Register("Ordinary256MiB/DeepScan", ScanFile, ordinary);
        ratios.emplace_back("Ordinary256MiB/DeepScan", "Ordinary256MiB/PlainRead");
        const std::pair<std::string, std::string> hostile[] = {
            {"Points", "."},
            {"NameChars", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,"},
            {"XDllPoint", "X.DLL."}};
        for (const auto &[name, pattern] : hostile) {
            for (const std::uint64_t mib : {128u, 256u}) {
                const std::string label = name + std::to_string(mib) + "MiB";
                Register(label + "/DeepScan", ScanFile, WriteRepeated(label, pattern, mib * kMiB));
            }
            ratios.emplace_back(name + "256MiB/DeepScan", name + "128MiB/DeepScan");
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios of time (lower is better)                      wall    cpu\n");
    for (const auto &[a, b] : ratios) {
        PrintRatio(reporter, a, b);
    }
    benchmark::Shutdown();
    return 0;
}
