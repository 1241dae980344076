// quorvane-cli check, run in-process, on built PE files in temporary folders.
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

using test::Cli;
using test::CliRun;

class CliCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir / "app");
        fs::create_directories(dir / "sys");
        test::PeBuilder exe;
        exe.imports = {"zlib1.dll", "KERNEL32.dll", "msvcrt.dll",   "local.dll",
                       "gone.dll",  "Gone.dll",     "ADVAPI32.dll", "../sys/kernel32.dll"};
        m_exe = exe.Build().WriteTo(dir / "app" / "tool.exe").string();
        dir.Write("app/LOCAL.DLL", "");
        dir.Write("sys/kernel32.dll", "");
        dir.Write("sys/AdvApi32.Dll", "");
        m_sys = (dir / "sys").string();
    }
    test::TempDir dir;
    std::string m_exe;
    std::string m_sys;
};

TEST_F(CliCheck, ListsTheMissingNamesInTheDependencyListsOrder)
{
    const CliRun r = Cli({"check", "--system-dir=" + m_sys, m_exe});
    // Sorted without regard to case, ties in code-point order; a name holding a path is data,
    // never a way into another folder.
    EXPECT_EQ(r.out, "../sys/kernel32.dll\nGone.dll\ngone.dll\nmsvcrt.dll\nzlib1.dll\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, kExitMissing);
}

TEST_F(CliCheck, NothingMissingIsSilentSuccess)
{
    test::PeBuilder exe;
    exe.imports = {"KERNEL32.dll", "local.dll"};
    const std::string path = exe.Build().WriteTo(dir / "app" / "fine.exe").string();
    const CliRun r = Cli({"check", "--system-dir", m_sys + "/", path});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, kExitOk);
}

TEST_F(CliCheck, TheSystemFolderDefaultsToTheEnvironmentsRule)
{
    const char *old = std::getenv("QUORVANE_SYSTEM_DIR");
    const std::string saved = old ? old : "";
    ::setenv("QUORVANE_SYSTEM_DIR", m_sys.c_str(), 1);
    const CliRun withSystem = Cli({"check", m_exe});
    ::setenv("QUORVANE_SYSTEM_DIR", (dir / "elsewhere").c_str(), 1);
    const CliRun elsewhere = Cli({"check", m_exe});
    if (old) {
        ::setenv("QUORVANE_SYSTEM_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("QUORVANE_SYSTEM_DIR");
    }
    EXPECT_EQ(withSystem.out, "../sys/kernel32.dll\nGone.dll\ngone.dll\nmsvcrt.dll\nzlib1.dll\n");
    EXPECT_EQ(elsewhere.out, "../sys/kernel32.dll\nADVAPI32.dll\nGone.dll\ngone.dll\n"
                             "KERNEL32.dll\nmsvcrt.dll\nzlib1.dll\n");
}

TEST_F(CliCheck, AFileThatCannotBeReadIsReportedNotChecked)
{
    const std::string missing = (dir / "missing.exe").string();
    test::PeBuilder noImports;
    noImports.withImportTable = false;
    const std::string bare = noImports.Build().WriteTo(dir / "bare.exe").string();

    const CliRun unreadable = Cli({"check", "--system-dir=" + m_sys, missing});
    EXPECT_EQ(unreadable.out, "");
    EXPECT_EQ(unreadable.err, missing + ": Error mapping file.\n");
    EXPECT_EQ(unreadable.status, kExitUnreadable);

    const CliRun none = Cli({"check", "--system-dir=" + m_sys, bare});
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, bare + ": No DLL dependencies found.\n");
    EXPECT_EQ(none.status, kExitOk);

    const CliRun several = Cli({"check", "--system-dir=" + m_sys, bare, m_exe, missing});
    EXPECT_EQ(several.out, m_exe + ":\n\t../sys/kernel32.dll\n\tGone.dll\n\tgone.dll\n"
                                   "\tmsvcrt.dll\n\tzlib1.dll\n");
    EXPECT_EQ(several.status, kExitUnreadable);
}

TEST_F(CliCheck, JsonHoldsEachFilesMissingNames)
{
    const CliRun r = Cli({"check", "--json", "--system-dir=" + m_sys, m_exe});
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["command"], "check");
    ASSERT_EQ(doc["files"].size(), 1u);
    EXPECT_EQ(doc["files"][0]["path"], m_exe);
    EXPECT_EQ(doc["files"][0]["ok"], true);
    EXPECT_EQ(doc["files"][0]["status"], "OK.");
    EXPECT_EQ(doc["files"][0]["names"], nlohmann::json({"../sys/kernel32.dll", "Gone.dll",
                                                        "gone.dll", "msvcrt.dll", "zlib1.dll"}));
    EXPECT_EQ(r.status, kExitMissing);
}

TEST_F(CliCheck, AFileWithoutAFolderIsCheckedInTheCurrentFolder)
{
    const fs::path before = fs::current_path();
    fs::current_path(dir / "app");
    const CliRun r = Cli({"check", "--system-dir=" + m_sys, "tool.exe"});
    fs::current_path(before);
    EXPECT_EQ(r.out, "../sys/kernel32.dll\nGone.dll\ngone.dll\nmsvcrt.dll\nzlib1.dll\n");
}

TEST_F(CliCheck, WrongUsageIsExit64)
{
    EXPECT_EQ(Cli({"check"}).status, kExitUsage);
    EXPECT_EQ(Cli({"check", "--deeper", m_exe}).status, kExitUsage);
}

TEST_F(CliCheck, DeepChecksTheNamesTheDeepScanFinds)
{
    // Names only in the file's bytes (loaded at run time) are checked too, upper case as the Deep
    // Scan lists them; the file types narrow the search.
    const std::string path =
        dir.Write("app/loader.bin",
                  std::string_view("\0LOCAL.dll\0plugin.ocx\0C:\\x\\KERNEL32.DLL\0"
                                   "\0gone.DLL\0",
                                   50))
            .string();
    CliRun r = Cli({"check", "--deep", "--system-dir=" + m_sys, path});
    EXPECT_EQ(r.out, "GONE.DLL\nPLUGIN.OCX\n");
    EXPECT_EQ(r.status, kExitMissing);

    r = Cli({"check", "--deep", "--types=ocx", "--system-dir=" + m_sys, path});
    EXPECT_EQ(r.out, "PLUGIN.OCX\n");

    r = Cli({"check", "--deep", "--system-dir=" + m_sys, (dir / "app" / "none.bin").string()});
    EXPECT_EQ(r.status, kExitUnreadable);
    EXPECT_EQ(r.out, "");
}

TEST_F(CliCheck, TypesWithoutDeepIsWrongUsage)
{
    EXPECT_EQ(Cli({"check", "--types=dll", m_exe}).status, kExitUsage);
}

} // namespace
} // namespace quorvane
