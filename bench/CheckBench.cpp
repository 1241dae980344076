// The missing-name check of 10,000 names against a folder of 10,000 files, against one plain read
// of that folder measured in the same run. A check reads each folder once, so it should cost a
// small multiple of the read, not 10,000 of them.
#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <dirent.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
constexpr int kNames = 10000;

struct Fixture {
    quorvane::test::TempDir dir;
    std::string app;
    std::string sys;
    std::vector<std::string> names;

    Fixture()
    {
        app = (dir / "app").string() + "/";
        sys = (dir / "sys").string() + "/";
        fs::create_directories(dir / "app");
        fs::create_directories(dir / "sys");
        for (int i = 0; i < kFiles; ++i) {
            std::ofstream(dir / "app" / ("Library" + std::to_string(100000 + i) + ".dll"));
        }
        for (int i = 0; i < 100; ++i) {
            std::ofstream(dir / "sys" / ("system" + std::to_string(i) + ".dll"));
        }
        // Every other name is there in another letter case; the rest are in neither folder and so
        // are searched for in both.
        for (int i = 0; i < kNames; ++i) {
            names.push_back(i % 2 == 0 ? "LIBRARY" + std::to_string(100000 + i) + ".DLL"
                                       : "Missing" + std::to_string(i) + ".dll");
        }
    }
};

Fixture &TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void BM_ReadFolderOnce(benchmark::State &state)
{
    const std::string folder = TheFixture().app;
    for (auto _ : state) {
        std::size_t entries = 0;
        DIR *dir = ::opendir(folder.c_str());
        while (::readdir(dir)) {
            ++entries;
        }
        ::closedir(dir);
        benchmark::DoNotOptimize(entries);
    }
}
BENCHMARK(BM_ReadFolderOnce)->Unit(benchmark::kMillisecond);

void BM_CheckTenThousandNames(benchmark::State &state)
{
    const Fixture &f = TheFixture();
    std::size_t missing = 0;
    for (auto _ : state) {
        missing = quorvane::FindMissingNames(f.app, f.sys, f.names).size();
        benchmark::DoNotOptimize(missing);
    }
    state.counters["missing"] = static_cast<double>(missing);
}
BENCHMARK(BM_CheckTenThousandNames)->Unit(benchmark::kMillisecond);

// One name searched without the cache: what every name would cost if each search read the folder.
void BM_SearchOneNameUncached(benchmark::State &state)
{
    const Fixture &f = TheFixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorvane::IsFilePresent(f.app, "missing.dll"));
    }
}
BENCHMARK(BM_SearchOneNameUncached)->Unit(benchmark::kMillisecond);

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                const auto iterations = static_cast<double>(run.iterations);
                seconds[run.benchmark_name()] = run.real_accumulated_time / iterations;
                cpuSeconds[run.benchmark_name()] = run.cpu_accumulated_time / iterations;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    TheFixture(); // the folders are made before anything is timed
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto &s = reporter.seconds;
    if (s.count("BM_ReadFolderOnce") && s.count("BM_CheckTenThousandNames")) {
        const double read = s.at("BM_ReadFolderOnce");
        const double check = s.at("BM_CheckTenThousandNames");
        const double readCpu = reporter.cpuSeconds.at("BM_ReadFolderOnce");
        const double checkCpu = reporter.cpuSeconds.at("BM_CheckTenThousandNames");
        std::printf("\ncheck of %d names against %d files: %.2f ms = %.1f x one read of the "
                    "folder (%.2f ms); CPU time %.2f ms = %.1f x (%.2f ms)\n",
                    kNames, kFiles, check * 1e3, check / read, read * 1e3, checkCpu * 1e3,
                    checkCpu / readCpu, readCpu * 1e3);
        if (s.count("BM_SearchOneNameUncached")) {
            const double one = s.at("BM_SearchOneNameUncached");
            std::printf("without the cache the same check would take about %.0f ms "
                        "(%d names x 2 folders x %.3f ms)\n",
                        2.0 * kNames * one * 1e3, kNames, one * 1e3);
        }
    }
    benchmark::Shutdown();
    return 0;
}
