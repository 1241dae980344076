// quorvane-cli imports and exports, run in-process through RunCli and, for the exit statuses and
// streams, as a real process.
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "core/pe/modPETables.h"
#include "support/PeBuilder.h"
#include "support/PosixOnly.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace quorvane {
namespace {

using test::Cli;
using test::CliRun;

class CliReaders : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::PeBuilder exe;
        exe.imports = {"KERNEL32.dll", "USER32.dll"};
        m_exe = exe.Build().WriteTo(dir / "app.exe").string();
        test::PeBuilder dll;
        dll.bitness = test::Bitness::Pe32Plus;
        dll.imports = {"KERNEL32.dll"};
        dll.exports = {"Alpha", "Beta"};
        m_dll = dll.Build().WriteTo(dir / "lib.dll").string();
    }
    test::TempDir dir;
    std::string m_exe;
    std::string m_dll;
};

TEST_F(CliReaders, OneFilePrintsPlainNames)
{
    const CliRun r = Cli({"imports", m_exe});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "KERNEL32.dll\nUSER32.dll\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Cli({"exports", m_dll}).out, "Alpha\nBeta\n");
}

TEST_F(CliReaders, SeveralFilesAreGroupedAndFailuresGoToStandardError)
{
    const std::string missing = (dir / "missing.dll").string();
    const CliRun r = Cli({"exports", m_dll, m_exe, missing});
    EXPECT_EQ(r.out, m_dll + ":\n\tAlpha\n\tBeta\n");
    EXPECT_EQ(r.err, m_exe + ": No export table.\n" + missing + ": Error mapping file.\n");
    EXPECT_EQ(r.status, kExitUnreadable);
}

TEST_F(CliReaders, AFileWithoutTheTableIsNotAnError)
{
    const CliRun r = Cli({"exports", m_exe});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, m_exe + ": No export table.\n");
}

TEST_F(CliReaders, DamagedTableIsAnError)
{
    test::PeBuilder b;
    b.imports = {"A.dll"};
    test::BuiltPe pe = b.Build();
    pe.PutU32(pe.layout.importDirectoryOffset + 12, 0x7FFF0000);
    const auto path = pe.WriteTo(dir / "damaged.exe").string();
    const CliRun r = Cli({"imports", path});
    EXPECT_EQ(r.status, kExitUnreadable);
    EXPECT_EQ(r.err, path + ": Error in attempt to find imported DLLs.\n");
}

TEST_F(CliReaders, JsonHoldsEveryFileWithItsStatus)
{
    const CliRun r = Cli({"imports", "--json", m_exe, (dir / "missing.dll").string()});
    EXPECT_EQ(r.status, kExitUnreadable);
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["command"], "imports");
    ASSERT_EQ(doc["files"].size(), 2u);
    EXPECT_EQ(doc["files"][0]["path"], m_exe);
    EXPECT_EQ(doc["files"][0]["ok"], true);
    EXPECT_EQ(doc["files"][0]["status"], "OK.");
    EXPECT_EQ(doc["files"][0]["names"], nlohmann::json({"KERNEL32.dll", "USER32.dll"}));
    EXPECT_EQ(doc["files"][1]["ok"], false);
    EXPECT_EQ(doc["files"][1]["status"], "Error mapping file.");
}

TEST_F(CliReaders, JsonStaysValidForPathsThatAreNotUtf8)
{
    const std::string odd = (dir / "caf\xE9.dll").string();
    const CliRun r = Cli({"imports", "--json", odd});
    EXPECT_TRUE(nlohmann::json::accept(r.out)) << r.out;
}

TEST_F(CliReaders, ControlCharactersInNamesCannotReachTheTerminal)
{
    test::PeBuilder b;
    b.imports = {"EVIL\x1B[2J.dll"};
    const auto path = b.Build().WriteTo(dir / "evil.exe").string();
    EXPECT_EQ(Cli({"imports", path}).out, "EVIL\\x1B[2J.dll\n");
    const auto doc = nlohmann::json::parse(Cli({"imports", "--json", path}).out);
    EXPECT_EQ(doc["files"][0]["names"][0], "EVIL\x1B[2J.dll") << "JSON keeps the exact name";
}

TEST(CliUsage, WrongUsageGives64AndOneLine)
{
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 {"imports"},
                                                 {"frobnicate", "x"},
                                                 {"imports", "--bogus", "x"}}) {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(CliUsage, HelpAndVersion)
{
    const CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("imports"), std::string::npos);
    EXPECT_NE(help.out.find("exports"), std::string::npos);
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quorvane-cli ", 0), 0u);
}

TEST_F(CliReaders, RealProcessExitStatus)
{
    QUORVANE_POSIX_ONLY_FROM_HERE("through a POSIX shell; scripts/same-answers.sh runs the .exe");
    const std::string cli = QUORVANE_CLI_PATH;
    EXPECT_EQ(std::system((cli + " imports '" + m_exe + "' >/dev/null").c_str()), 0);
    EXPECT_NE(std::system((cli + " imports /nonexistent 2>/dev/null").c_str()), 0);
}

} // namespace
} // namespace quorvane
