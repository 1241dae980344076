// quorvane-cli deep, run in-process through RunCli and, for the exit status, as a real process.
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "support/PosixOnly.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace quorvane {
namespace {

using namespace std::string_literals;

using test::Cli;
using test::CliRun;

class CliDeep : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Found in this order: the list shows them sorted, each once.
        m_file =
            dir.Write("app.exe", "MZ\0\0B.ocx\0ab.dll\0a.dll\0A,B.DLL\0A1.Dll\0AB.DLL\0X.sys\0"s)
                .string();
    }
    test::TempDir dir;
    std::string m_file;
};

TEST_F(CliDeep, NamesInTheDependencyListsOrder)
{
    const CliRun r = Cli({"deep", m_file});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "A,B.DLL\nA.DLL\nA1.DLL\nAB.DLL\nB.OCX\nX.SYS\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliDeep, TypesChooseTheExtensions)
{
    EXPECT_EQ(Cli({"deep", "--types=ocx,SYS", m_file}).out, "B.OCX\nX.SYS\n");
    EXPECT_EQ(Cli({"deep", "--types", "tlb", m_file}).out, "");
    EXPECT_EQ(Cli({"deep", "--types=dll,,drv", m_file}).out, "A,B.DLL\nA.DLL\nA1.DLL\nAB.DLL\n");
    const CliRun wrong = Cli({"deep", "--types=dll,exe", m_file});
    EXPECT_EQ(wrong.status, kExitUsage);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 1) << wrong.err;
}

TEST_F(CliDeep, FilesThatCannotBeReadAreErrors)
{
    const std::string empty = dir.Write("empty.dll", "").string();
    const std::string missing = (dir / "missing.dll").string();
    const std::string folder = dir.Path().string();
    std::vector<std::string> args = {"deep", "--types=ocx", m_file, empty, missing, folder};
    std::string errors = missing + ": No such file.\n" + folder + ": Not a regular file.\n";
#ifndef _WIN32
    // A device: on Windows NUL would be one, but Wine's C runtime says it is not there.
    args.push_back("/dev/zero");
    errors += "/dev/zero: Not a regular file.\n";
#endif
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, kExitUnreadable);
    EXPECT_EQ(r.out, m_file + ":\n\tB.OCX\n" + empty + ":\n");
    EXPECT_EQ(r.err, errors);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(CliDeep, FileWithoutNamesIsNoError)
{
    const CliRun r = Cli({"deep", dir.Write("plain.txt", "nothing here.").string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliDeep, JsonHoldsEveryFile)
{
    const std::string missing = (dir / "missing.dll").string();
    const CliRun r = Cli({"deep", "--json", "--types=sys,ocx", m_file, missing});
    EXPECT_EQ(r.status, kExitUnreadable);
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["command"], "deep");
    ASSERT_EQ(doc["files"].size(), 2u);
    EXPECT_EQ(doc["files"][0]["path"], m_file);
    EXPECT_EQ(doc["files"][0]["ok"], true);
    EXPECT_EQ(doc["files"][0]["names"], nlohmann::json({"B.OCX", "X.SYS"}));
    EXPECT_EQ(doc["files"][1]["ok"], false);
    EXPECT_EQ(doc["files"][1]["status"], "No such file.");
    EXPECT_EQ(doc["files"][1]["names"], nlohmann::json::array());
}

TEST_F(CliDeep, HelpNamesTheCommandAndItsTypes)
{
    EXPECT_NE(Cli({"--help"}).out.find("deep"), std::string::npos);
    const CliRun help = Cli({"deep", "--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("dll,ocx,sys,drv,tlb"), std::string::npos) << help.out;
}

TEST_F(CliDeep, RealProcessExitStatus)
{
    QUORVANE_POSIX_ONLY_FROM_HERE("through a POSIX shell; scripts/same-answers.sh runs the .exe");
    const std::string cli = QUORVANE_CLI_PATH;
    EXPECT_EQ(std::system((cli + " deep '" + m_file + "' >/dev/null").c_str()), 0);
    EXPECT_NE(std::system((cli + " deep /nonexistent 2>/dev/null").c_str()), 0);
}

} // namespace
} // namespace quorvane
