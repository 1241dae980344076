// The command-line contract of quorvane-cli on built PE files: for each command line the exit
// status, the standard output and the standard error, in one table; the JSON documents; and, as a
// real process, special paths ending in status 2 at once and the analysed files only ever opened
// for reading.
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include "support/Process.h"
#include "support/Timing.h"

#include <fstream>
#include <regex>
#include <sys/stat.h>
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using nlohmann::json;
using test::CliRun;
using test::RunQuorvaneCli;

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::WritePe(dir / "app" / "tool.exe",
                      {"zlib1.dll", "KERNEL32.dll", "local.dll", "gone.dll", "Gone.dll",
                       "ADVAPI32.dll", "../sys/kernel32.dll"});
        test::WritePe(dir / "app" / "fine.exe", {"KERNEL32.dll", "local.dll"});
        test::WritePe(dir / "app" / "plugin.exe", {"winmm.dll", "local.dll"});
        test::WritePe(dir / "app" / "winmm.dll", {});
        test::WritePe(dir / "app" / "local.dll", {});
        test::WritePe(dir / "sys" / "kernel32.dll", {});
        dir.Write("sys/AdvApi32.Dll", "");
        test::PeBuilder lib;
        lib.isDll = true;
        lib.imports = {"KERNEL32.dll"};
        lib.exports = {"Alpha", "Beta"};
        lib.Build().WriteTo(dir / "lib.dll");
        test::PeBuilder bare;
        bare.withImportTable = false;
        bare.Build().WriteTo(dir / "bare.exe");
        test::PeBuilder evil;
        evil.imports = {"EVIL\x1B[2J\x7F.dll"};
        evil.Build().WriteTo(dir / "evil.exe");
        test::PeBuilder damaged;
        damaged.imports = {"A.dll"};
        test::BuiltPe pe = damaged.Build();
        pe.PutU32(pe.layout.importDirectoryOffset + 12, 0x7FFF0000); // a name nowhere
        pe.WriteTo(dir / "damaged.exe");
        // Found in this order: the list shows them sorted, each once.
        dir.Write("data.bin", "MZ\0\0B.ocx\0ab.dll\0a.dll\0A,B.DLL\0A1.Dll\0AB.DLL\0X.sys\0"s);
        // Names only in the bytes (loaded at run time), upper case as the deep scan lists them.
        dir.Write("app/loader.bin", "\0LOCAL.dll\0plugin.ocx\0C:\\x\\KERNEL32.DLL\0\0gone.DLL\0"s);
        dir.Write("empty.bin", "");
        fs::create_directories(dir / "folder");
    }
    std::string D() const { return test::Slashed(dir.Path().string()); }
    std::string Expand(std::string text) const
    {
        for (std::size_t at = text.find("{d}"); at != std::string::npos;
             at = text.find("{d}", at)) {
            text.replace(at, 3, D());
        }
        return text;
    }
    test::TempDir dir;
};

TEST_F(Cli, EachCommandLineGivesItsStatusAndOutput)
{
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string out; // "~text": the output holds text
        std::string err; // for wrong usage (64): one line, whatever it says
    };
    const std::string sys = "--system-dir={d}/sys";
    const std::vector<Row> rows = {
        // Wrong usage: nothing on standard output, one line on standard error.
        {{}, kExitUsage, "", ""},
        {{"imports"}, kExitUsage, "", ""},
        {{"frobnicate", "x"}, kExitUsage, "", ""},
        {{"imports", "--bogus", "{d}/lib.dll"}, kExitUsage, "", ""},
        {{"imports", "--demangle", "{d}/lib.dll"}, kExitUsage, "", ""},
        {{"check", "--deeper", "{d}/app/tool.exe"}, kExitUsage, "", ""},
        {{"check", "--types=dll", "{d}/app/tool.exe"}, kExitUsage, "", ""},
        {{"deep", "--types=dll,exe", "{d}/data.bin"}, kExitUsage, "", ""},
        {{"tree"}, kExitUsage, "", ""},
        {{"tree", sys, "--wine-prefix={d}", "{d}/app/tool.exe"}, kExitUsage, "", ""},
        {{"tree", "--search={d}/nowhere", "{d}/app/tool.exe"}, kExitUsage, "", ""},
        {{"bundle", "{d}/app/tool.exe"}, kExitUsage, "", ""}, // no --to
        {{"--help"}, kExitOk, "~\n  deep ", ""},
        {{"deep", "--help"}, kExitOk, "~dll,ocx,sys,drv,tlb", ""},
        {{"--version"}, kExitOk, "~quorvane-cli ", ""},
        // The readers: names in table order; several files grouped; failures on standard error.
        {{"imports", "{d}/lib.dll"}, kExitOk, "KERNEL32.dll\n", ""},
        {{"exports", "{d}/lib.dll"}, kExitOk, "Alpha\nBeta\n", ""},
        {{"exports", "{d}/lib.dll", "{d}/bare.exe", "{d}/missing.dll"},
         kExitUnreadable,
         "{d}/lib.dll:\n\tAlpha\n\tBeta\n",
         "{d}/bare.exe: No export table.\n{d}/missing.dll: Error mapping file.\n"},
        {{"exports", "{d}/bare.exe"}, kExitOk, "", "{d}/bare.exe: No export table.\n"},
        {{"imports", "{d}/damaged.exe"},
         kExitUnreadable,
         "",
         "{d}/damaged.exe: Error in attempt to find imported DLLs.\n"},
        {{"imports", "{d}/evil.exe"}, kExitOk, "EVIL\\x1B[2J\\x7F.dll\n", ""},
        // check: the missing names sorted without regard to case, ties in code-point order; a
        // name holding a path is data, never a way into another folder.
        {{"check", sys, "{d}/app/tool.exe"},
         kExitMissing,
         "../sys/kernel32.dll\nGone.dll\ngone.dll\nzlib1.dll\n",
         ""},
        {{"check", "--system-dir", "{d}/sys/", "{d}/app/fine.exe"}, kExitOk, "", ""},
        {{"check", sys, "{d}/bare.exe"}, kExitOk, "", "{d}/bare.exe: No DLL dependencies found.\n"},
        {{"check", sys, "{d}/missing.exe"},
         kExitUnreadable,
         "",
         "{d}/missing.exe: Error mapping file.\n"},
        // The worst status of all files, not the last one's.
        {{"check", sys, "{d}/app/tool.exe", "{d}/app/fine.exe"},
         kExitMissing,
         "{d}/app/tool.exe:\n\t../sys/kernel32.dll\n\tGone.dll\n\tgone.dll\n\tzlib1.dll\n"
         "{d}/app/fine.exe:\n",
         ""},
        {{"check", sys, "{d}/missing.exe", "{d}/app/tool.exe"},
         kExitUnreadable,
         "~{d}/app/tool.exe:\n",
         "{d}/missing.exe: Error mapping file.\n"},
        {{"check", "--deep", sys, "{d}/app/loader.bin"},
         kExitMissing,
         "GONE.DLL\nPLUGIN.OCX\n",
         ""},
        {{"check", "--deep", "--types=ocx", sys, "{d}/app/loader.bin"},
         kExitMissing,
         "PLUGIN.OCX\n",
         ""},
        // deep: every name once, in the dependency list's order; --types in any case.
        {{"deep", "{d}/data.bin"}, kExitOk, "A,B.DLL\nA.DLL\nA1.DLL\nAB.DLL\nB.OCX\nX.SYS\n", ""},
        {{"deep", "--types=ocx,SYS", "{d}/data.bin"}, kExitOk, "B.OCX\nX.SYS\n", ""},
        {{"deep", "--types", "tlb", "{d}/data.bin"}, kExitOk, "", ""},
        {{"deep", "--types=ocx", "{d}/data.bin", "{d}/empty.bin", "{d}/missing.bin", "{d}/folder"},
         kExitUnreadable,
         "{d}/data.bin:\n\tB.OCX\n{d}/empty.bin:\n",
         "{d}/missing.bin: No such file.\n{d}/folder: Not a regular file.\n"},
        // bundle leaves Windows' own DLLs out, wherever it finds them.
        {{"bundle", "{d}/app/plugin.exe", "--to={d}/out", sys},
         kExitOk,
         "copied: {d}/app/local.dll -> "
         "{d}/out/local.dll\n",
         ""},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args;
        std::string line;
        for (const std::string &a : row.args) {
            args.push_back(Expand(a));
            line += ' ' + args.back();
        }
        SCOPED_TRACE(line);
        const CliRun r = RunQuorvaneCli(args);
        EXPECT_EQ(r.status, row.status);
        const std::string out = Expand(row.out);
        if (out.starts_with('~')) {
            EXPECT_NE(r.out.find(out.substr(1)), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out, out);
        }
        if (row.status == kExitUsage) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        } else {
            EXPECT_EQ(r.err, Expand(row.err));
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out" / "winmm.dll"));
}

TEST_F(Cli, JsonHoldsEveryFileWithItsStatus)
{
    const json imports = json::parse(
        RunQuorvaneCli({"imports", "--json", D() + "/lib.dll", D() + "/missing.dll"}).out);
    EXPECT_EQ(imports["command"], "imports");
    EXPECT_EQ(imports["files"], json::array({{{"path", D() + "/lib.dll"},
                                              {"ok", true},
                                              {"status", "OK."},
                                              {"names", json::array({"KERNEL32.dll"})}},
                                             {{"path", D() + "/missing.dll"},
                                              {"ok", false},
                                              {"status", "Error mapping file."},
                                              {"names", json::array()}}}));
    const CliRun check =
        RunQuorvaneCli({"check", "--json", "--system-dir=" + D() + "/sys", D() + "/app/tool.exe"});
    EXPECT_EQ(check.status, kExitMissing);
    EXPECT_EQ(json::parse(check.out)["files"][0]["names"],
              json({"../sys/kernel32.dll", "Gone.dll", "gone.dll", "zlib1.dll"}));
    const json deep =
        json::parse(RunQuorvaneCli({"deep", "--json", "--types=sys,ocx", D() + "/data.bin"}).out);
    EXPECT_EQ(deep["files"][0]["names"], json({"B.OCX", "X.SYS"}));
    // The exact name in JSON; a path that is not UTF-8 still gives a valid document.
    const json evil = json::parse(RunQuorvaneCli({"imports", "--json", D() + "/evil.exe"}).out);
    EXPECT_EQ(evil["files"][0]["names"][0], "EVIL\x1B[2J\x7F.dll");
    EXPECT_TRUE(json::accept(RunQuorvaneCli({"imports", "--json", D() + "/caf\xE9.dll"}).out));
}

#ifndef _WIN32
const std::string kCli = QUORVANE_CLI_PATH;

TEST_F(Cli, SpecialPathsEndInStatusTwoAtOnceAsARealProcess)
{
    using namespace std::chrono_literals;
    const std::string fifo = D() + "/pipe.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string odd = D() + "/caf\xE9.dll";
    fs::copy_file(dir / "lib.dll", odd);
    struct Row {
        std::string command, path;
        int status;
        std::string out, err;
    };
    const std::vector<Row> rows = {
        {"imports", fifo, kExitUnreadable, "", fifo + ": Error mapping file.\n"},
        {"imports", "/dev/zero", kExitUnreadable, "", "/dev/zero: Error mapping file.\n"},
        {"imports", D(), kExitUnreadable, "", D() + ": Error mapping file.\n"},
        {"imports", D() + "/no.dll", kExitUnreadable, "", D() + "/no.dll: Error mapping file.\n"},
        {"exports", odd, kExitOk, "Alpha\nBeta\n", ""},
        {"deep", fifo, kExitUnreadable, "", fifo + ": Not a regular file.\n"},
        {"deep", "/dev/zero", kExitUnreadable, "", "/dev/zero: Not a regular file.\n"},
        {"check", fifo, kExitUnreadable, "", fifo + ": Error mapping file.\n"},
    };
    for (const Row &row : rows) {
        const auto r = test::RunProcess({kCli, row.command, row.path}, 10s);
        EXPECT_TRUE(r.exited) << row.path << ": signal " << r.signal
                              << (r.timedOut ? ", hung" : "");
        EXPECT_EQ(r.exitCode, row.status) << row.command << ' ' << row.path;
        EXPECT_EQ(r.out, row.out) << row.path;
        EXPECT_EQ(r.err, row.err) << row.path;
        EXPECT_LT(r.took, test::kAtOnce) << row.path;
    }
}

TEST_F(Cli, AnalysedFilesAreOnlyOpenedForReadingAndStayAsTheyWere)
{
    using namespace std::chrono_literals;
    if (test::RunProcess({"/usr/bin/strace", "-V"}, 10s).exitCode != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/setup-deps.sh --test installs it)";
    }
    const std::vector<std::string> files = {D() + "/lib.dll", D() + "/app/tool.exe",
                                            D() + "/damaged.exe", D() + "/evil.exe",
                                            D() + "/data.bin"};
    std::vector<std::pair<timespec, off_t>> stamps;
    for (const std::string &f : files) {
        struct stat s {};
        ::stat(f.c_str(), &s);
        stamps.emplace_back(s.st_mtim, s.st_size);
    }
    const std::string log = D() + "/trace.log";
    const std::regex open(R"re((?:open|openat|openat2)\((?:[A-Z_]+, )?"([^"]*)", ([A-Z_|]+))re");
    const std::regex cut(R"re(\b(?:creat|truncate|ftruncate)\()re");
    for (const std::string command : {"imports", "exports", "deep", "check"}) {
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
        args.insert(args.end(), files.begin(), files.end());
        const auto r = test::RunProcess(args, 60s);
        ASSERT_TRUE(r.exited) << "signal " << r.signal;
        std::map<std::string, std::vector<std::string>> opens;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (std::regex_search(line, m, open)) {
                opens[m[1]].push_back(m[2]);
            }
            EXPECT_FALSE(std::regex_search(line, cut)) << line;
        }
        for (const std::string &f : files) {
            EXPECT_FALSE(opens[f].empty()) << command << " never opened " << f;
            for (const std::string &flags : opens[f]) {
                EXPECT_TRUE(std::regex_match(flags, std::regex("O_RDONLY(\\|O_(CLOEXEC|NOCTTY|"
                                                               "NONBLOCK|LARGEFILE|NOFOLLOW))*")))
                    << command << ' ' << f << ' ' << flags;
            }
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        struct stat after {};
        ::stat(files[i].c_str(), &after);
        EXPECT_EQ(after.st_size, stamps[i].second) << files[i];
        EXPECT_EQ(after.st_mtim.tv_sec, stamps[i].first.tv_sec) << files[i];
        EXPECT_EQ(after.st_mtim.tv_nsec, stamps[i].first.tv_nsec) << files[i];
    }
}
#endif

} // namespace
} // namespace quorvane
