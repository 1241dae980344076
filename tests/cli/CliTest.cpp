// The command-line contract of quorvane-cli on built PE files: for each command line the exit
// status, the standard output and the standard error, in one table, each run in a child process
// without write permission, ending at once, special paths too; and the JSON documents.
#include "support/PackagerTestSupport.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include "support/Process.h"
#include "support/Timing.h"

#include <sys/stat.h>
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using nlohmann::json;

class Cli : public ::testing::Test {
protected:
    auto Run(const std::string &line) const { return test::RunCliLine(line, folder); }
    auto X(const std::string &text) const { return test::Expand(text, folder); }
    void SetUp() override
    {
        test::WritePe(dir / "app" / "tool.exe",
                      {"zlib1.dll", "KERNEL32.dll", "local.dll", "gone.dll", "Gone.dll",
                       "ADVAPI32.dll", "../sys/kernel32.dll"});
        test::WritePe(dir / "app" / "plugin.exe", {"winmm.dll", "local.dll"});
        test::WritePe(dir / "app" / "winmm.dll", {});
        test::WritePe(dir / "app" / "local.dll", {});
        test::WritePe(dir / "sys" / "kernel32.dll", {});
        dir.Write("sys/AdvApi32.Dll", "");
        test::WritePe(dir / "evil.exe", {"EVIL\x1B[2J\x7F.dll"});
        test::PeBuilder{.withImportTable = false}.Build().WriteTo(dir / "bare.exe");
        test::WritePe(dir / "lib.dll", {"KERNEL32.dll"});
        // Found in this order: the list shows them sorted, each once.
        dir.Write("data.bin", "MZ\0\0B.ocx\0ab.dll\0a.dll\0A,B.DLL\0A1.Dll\0AB.DLL\0X.sys\0"s);
        // Names only in the bytes (loaded at run time), upper case as the deep scan lists them.
        dir.Write("app/loader.bin", "\0LOCAL.dll\0plugin.ocx\0C:\\x\\KERNEL32.DLL\0\0gone.DLL\0"s);
        dir.Write("empty.bin", "");
        fs::create_directories(dir / "folder");
#ifndef _WIN32
        // Read-only files, for a user who may not change them either, and a FIFO that user may
        // open: a program that opens them for writing, or opens the FIFO, fails or hangs.
        fs::copy_file(dir / "lib.dll", dir / "caf\xE9.dll");
        for (const char *name : {"caf\xE9.dll", "data.bin"}) {
            fs::permissions(dir / name, fs::perms::owner_read | fs::perms::others_read);
        }
        fs::permissions(dir.Path(), fs::perms::all);
        ASSERT_EQ(::mkfifo((dir / "pipe.dll").c_str(), 0666), 0);
#endif
    }
    test::TempDir dir;
    const test::Folders folder = {{"{d}", dir.Path()}};
};

TEST_F(Cli, EachCommandLineGivesItsStatusAndOutput)
{
    struct Row {
        std::string args; // split at each space; {d} is the folder of the built files
        int status;
        std::string out, err; // err for wrong usage (64): one line, whatever it says
    };
    const std::string tool = "{d}/app/tool.exe:\n\t../sys/kernel32.dll\n\tGone.dll\n\tgone.dll\n"
                             "\tzlib1.dll\n";
    std::vector<Row> rows = {
        // The readers: names in table order; several files grouped; failures on standard error.
        {"imports {d}/lib.dll", kExitOk, "KERNEL32.dll\n", ""},
        {"exports {d}/lib.dll {d}/bare.exe", kExitOk, "{d}/lib.dll:\n\tEntry\n",
         "{d}/bare.exe: No export table.\n"},
        {"imports {d}/evil.exe", kExitOk, "EVIL\\x1B[2J\\x7F.dll\n", ""},
        // check: the missing names sorted without regard to case, ties in code-point order; a
        // name holding a path is data, never a way into another folder.
        {"check --system-dir={d}/sys {d}/app/tool.exe", kExitMissing,
         "../sys/kernel32.dll\nGone.dll\ngone.dll\nzlib1.dll\n", ""},
        // Several files: the worst status of all, not the last one's.
        {"check --system-dir={d}/sys {d}/app/tool.exe {d}/bare.exe", kExitMissing, tool,
         "{d}/bare.exe: No DLL dependencies found.\n"},
        {"check --system-dir={d}/sys {d}/no.exe {d}/app/tool.exe", kExitUnreadable, tool,
         "{d}/no.exe: Error mapping file.\n"},
        {"check --deep --system-dir={d}/sys {d}/app/loader.bin", kExitMissing,
         "GONE.DLL\nPLUGIN.OCX\n", ""},
        // deep: every name once, in the dependency list's order; --types in any case.
        {"deep {d}/data.bin", kExitOk, "A,B.DLL\nA.DLL\nA1.DLL\nAB.DLL\nB.OCX\nX.SYS\n", ""},
        {"deep --types=ocx,SYS {d}/data.bin {d}/empty.bin {d}/no.bin {d}/folder", kExitUnreadable,
         "{d}/data.bin:\n\tB.OCX\n\tX.SYS\n{d}/empty.bin:\n",
         "{d}/no.bin: No such file.\n{d}/folder: Not a regular file.\n"},
        // bundle leaves Windows' own DLLs out, wherever it finds them.
        {"bundle {d}/app/plugin.exe --to={d}/out --system-dir={d}/sys", kExitOk,
         "copied: {d}/app/local.dll -> {d}/out/local.dll\n", ""},
#ifndef _WIN32
        // Special paths end in status 2, the program never waiting for them.
        {"imports {d}/pipe.dll", kExitUnreadable, "", "{d}/pipe.dll: Error mapping file.\n"},
        {"deep /dev/zero", kExitUnreadable, "", "/dev/zero: Not a regular file.\n"},
        {"exports {d}/caf\xE9.dll", kExitOk, "Entry\n", ""},
#endif
    };
    // Wrong usage: nothing on standard output, one line on standard error.
    for (const char *line :
         {"", "imports", "frobnicate {d}/lib.dll", "imports --bogus {d}/lib.dll",
          "check --types=dll {d}/app/tool.exe", "deep --types=dll,exe {d}/data.bin",
          "tree --search={d}/nowhere {d}/app/tool.exe", "bundle {d}/app/tool.exe" /* no --to */}) {
        rows.push_back({line, kExitUsage, "", ""});
    }
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args);
        const auto check = [&] {
            const auto r = Run(row.args);
            EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(row.status, X(row.out)));
            EXPECT_TRUE(row.status == kExitUsage ? std::ranges::count(r.err, '\n') == 1
                                                 : r.err == X(row.err))
                << r.err;
            return HasFailure() ? 1 : 0;
        };
#ifdef _WIN32
        check();
#else
        // As a user who may not change the files, in a child that ends at once (or gets SIGALRM).
        const auto r = test::RunUnprivileged(check, test::kAtOnce);
        EXPECT_EQ(r.exitCode, 0) << "signal " << r.signal;
#endif
    }
}

TEST_F(Cli, HelpAndJsonHoldEveryFileWithItsStatus)
{
    EXPECT_THAT(Run("--help").out, ::testing::HasSubstr("\n  deep "));
    EXPECT_EQ(json::parse(Run("imports --json {d}/lib.dll {d}/no.dll").out),
              json::parse(X(R"({"command": "imports", "files": [
        {"path": "{d}/lib.dll", "ok": true, "status": "OK.", "names": ["KERNEL32.dll"]},
        {"path": "{d}/no.dll", "ok": false, "status": "Error mapping file.", "names": []}]})")));
    // The exact name in JSON; a path that is not UTF-8 still gives a valid document.
    EXPECT_EQ(json::parse(Run("imports --json {d}/evil.exe").out)["files"][0]["names"][0],
              "EVIL\x1B[2J\x7F.dll");
    EXPECT_TRUE(json::accept(Run("imports --json {d}/caf\xE9.dll").out));
}

} // namespace
} // namespace quorvane
