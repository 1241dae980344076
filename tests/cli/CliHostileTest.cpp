// quorvane-cli on hostile input: every malformed case gives the readers' statuses and names,
// special files end in exit status 2 at once and never in a signal, and the analysed files are only
// ever opened for reading (seen with strace) and left exactly as they were.
#include "cli/Cli.h"
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PeBuilder.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Timing.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::Bitness;

const std::string kCli = QUORVANE_CLI_PATH;

using CaseFile = test::MalformedFile;

nlohmann::json RunJson(const std::string &command, const std::vector<CaseFile> &files)
{
    std::vector<std::string> args = {command, "--json"};
    for (const auto &f : files) {
        args.push_back(f.path.string());
    }
    std::ostringstream out, err;
    RunCli(args, out, err);
    return nlohmann::json::parse(out.str());
}

TEST(CliHostile, EveryMalformedCaseGivesTheReadersAnswer)
{
    test::TempDir dir;
    const auto files = test::WriteMalformedCases(dir.Path());
    for (const std::string command : {"imports", "exports"}) {
        const auto doc = RunJson(command, files);
        ASSERT_EQ(doc["files"].size(), files.size());
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto &expected = command == "imports" ? files[i].c->imports : files[i].c->exports;
            const auto &file = doc["files"][i];
            EXPECT_EQ(file["status"], expected.status) << command << ' ' << files[i].path;
            EXPECT_TRUE(file["names"] == nlohmann::json(expected.names))
                << command << ' ' << files[i].path;
        }
    }
}

TEST(CliHostile, SpecialFilesEndInStatusTwoAtOnce)
{
    test::TempDir dir;
    const auto fifo = (dir / "pipe.dll").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto loop = dir / "loop.dll";
    std::filesystem::create_symlink(loop, loop);
    const std::vector<std::string> paths = {fifo,
                                            "/dev/zero",
                                            "/dev/urandom",
                                            "/proc/self/status",
                                            dir.Path().string(),
                                            loop.string(),
                                            (dir / "missing.dll").string(),
                                            dir.Write("empty.dll", "").string()};
    for (const std::string &path : paths) {
        for (const std::string command : {"imports", "exports"}) {
            const auto r = test::RunProcess({kCli, command, path}, 10s);
            EXPECT_TRUE(r.exited) << path << ": signal " << r.signal
                                  << (r.timedOut ? ", hung" : "");
            EXPECT_EQ(r.exitCode, kExitUnreadable) << path;
            EXPECT_EQ(r.out, "") << path;
            EXPECT_EQ(r.err, path + ": Error mapping file.\n");
            EXPECT_LT(r.took, test::kAtOnce) << path;
        }
    }
}

TEST(CliHostile, UnreadableFileEndsInStatusTwo)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.imports = {"KERNEL32.dll"};
    const auto path = b.Build().WriteTo(dir / "locked.dll").string();
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    const auto runAs = ::geteuid() == 0 ? std::optional<uid_t>(test::kNobody) : std::nullopt;
    const auto r = test::RunProcess({kCli, "imports", path}, 10s, runAs);
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.exitCode, kExitUnreadable);
    EXPECT_EQ(r.err, path + ": Error mapping file.\n");
}

TEST(CliHostile, FourGibibyteSparseFileIsListedAtOnce)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.bitness = Bitness::Pe32Plus;
    b.imports = {"KERNEL32.dll", "USER32.dll"};
    b.exports = {"Alpha"};
    const auto path = b.Build().WriteTo(dir / "huge.dll");
    std::filesystem::resize_file(path, 1ull << 32);
    const auto r = test::RunProcess({kCli, "imports", path.string()}, 10s);
    EXPECT_EQ(r.exitCode, kExitOk);
    EXPECT_EQ(r.out, "KERNEL32.dll\nUSER32.dll\n");
    EXPECT_LT(r.took, test::kAtOnce);
}

TEST(CliHostile, FileRewrittenWhileReadNeverEndsInASignal)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.imports.assign(3000, "LIBRARY.dll");
    const auto pe = b.Build();
    const auto path = pe.WriteTo(dir / "changing.dll");
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        for (std::uint64_t round = 0; !stop; ++round) {
            if (round % 2 == 0) {
                std::filesystem::resize_file(path, pe.bytes.size() / 3);
            } else {
                pe.WriteTo(path);
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        const auto r = test::RunProcess({kCli, "imports", path.string()}, 10s);
        EXPECT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? ", hung" : "");
        EXPECT_TRUE(r.exitCode == kExitOk || r.exitCode == kExitUnreadable) << r.exitCode;
    }
    stop = true;
    writer.join();
}

// The flags of every open call that strace saw for each path, and any call that can cut a file.
struct TraceLog {
    std::map<std::string, std::vector<std::string>> opens;
    std::vector<std::string> truncations;
};

TraceLog ReadTrace(const std::string &logPath)
{
    TraceLog log;
    std::ifstream in(logPath);
    std::string line;
    const std::regex open(R"re((?:open|openat|openat2)\((?:[A-Z_]+, )?"([^"]*)", ([A-Z_|]+))re");
    const std::regex cut(R"re(\b(?:creat|truncate|ftruncate)\()re");
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, open)) {
            log.opens[m[1]].push_back(m[2]);
        }
        if (std::regex_search(line, cut)) {
            log.truncations.push_back(line);
        }
    }
    return log;
}

TEST(CliHostile, AnalysedFilesAreOnlyOpenedForReadingAndStayAsTheyWere)
{
    if (test::RunProcess({"/usr/bin/strace", "-V"}, 10s).exitCode != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/setup-deps.sh --test installs it)";
    }
    test::TempDir dir;
    const auto files = test::WriteMalformedCases(dir.Path());
    struct stat before {};
    std::vector<std::pair<timespec, off_t>> stamps;
    for (const auto &f : files) {
        ::stat(f.path.c_str(), &before);
        stamps.emplace_back(before.st_mtim, before.st_size);
    }
    const std::string log = (dir / "trace.log").string();
    for (const std::string command : {"imports", "exports"}) {
        std::vector<std::string> args = {"/usr/bin/strace",
                                         "-f",
                                         "-qq",
                                         "-s",
                                         "4096",
                                         "-o",
                                         log,
                                         "-e",
                                         "trace=open,openat,openat2,creat,truncate,ftruncate",
                                         kCli,
                                         command};
        for (const auto &f : files) {
            args.push_back(f.path.string());
        }
        const auto r = test::RunProcess(args, 60s);
        ASSERT_TRUE(r.exited) << "signal " << r.signal;
        const TraceLog trace = ReadTrace(log);
        EXPECT_TRUE(trace.truncations.empty()) << trace.truncations.front();
        for (const auto &f : files) {
            const auto seen = trace.opens.find(f.path.string());
            ASSERT_NE(seen, trace.opens.end()) << command << " never opened " << f.path;
            for (const std::string &flags : seen->second) {
                EXPECT_NE(flags.find("O_RDONLY"), std::string::npos) << f.path << ' ' << flags;
                for (const char *writing :
                     {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"}) {
                    EXPECT_EQ(flags.find(writing), std::string::npos) << f.path << ' ' << flags;
                }
            }
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        struct stat after {};
        ::stat(files[i].path.c_str(), &after);
        EXPECT_EQ(after.st_size, stamps[i].second) << files[i].path;
        EXPECT_EQ(after.st_mtim.tv_sec, stamps[i].first.tv_sec) << files[i].path;
        EXPECT_EQ(after.st_mtim.tv_nsec, stamps[i].first.tv_nsec) << files[i].path;
    }
}

} // namespace
} // namespace quorvane
