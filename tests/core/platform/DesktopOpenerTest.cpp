// The Linux stand-in for the shell: a fake xdg-open on PATH records what it was given.
#include "core/platform/modShellExecute.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Replace(std::string &text, std::string_view placeholder, const std::string &value)
{
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

// PATH holds only a folder with a fake opener that writes each argument and then its argument
// count into files, and then ends with the given status (its one outside tool named in full).
class DesktopOpener : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        fs::create_directories(dir / "bin");
        ::setenv("PATH", (dir / "bin").c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", m_oldPath.c_str(), 1); }

    void InstallOpener(int exitStatus)
    {
        const fs::path record = dir / "record";
        fs::remove_all(record);
        fs::create_directories(record);
        // An opener left to run must not hold the test's output open, hence the redirection.
        std::string script = R"(#!/bin/sh
exec >/dev/null 2>&1
i=0
for a in "$@"; do i=$((i+1)); printf '%s' "$a" > '@RECORD@/arg'$i; done
pwd > '@RECORD@/cwd'
echo $# > '@RECORD@/argc.new' && /bin/mv '@RECORD@/argc.new' '@RECORD@/argc'
exit @STATUS@
)";
        Replace(script, "@RECORD@", record.string());
        Replace(script, "@STATUS@", std::to_string(exitStatus));
        fs::permissions(dir.Write("bin/xdg-open", script), fs::perms::owner_all);
    }
    bool OpenerRan() const { return fs::exists(dir / "record" / "argc"); }
    // The opener runs on its own once started: its record comes when it comes.
    bool WaitForOpener() const
    {
        const auto start = std::chrono::steady_clock::now();
        while (!OpenerRan()) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    std::vector<std::string> Arguments() const
    {
        std::vector<std::string> args;
        const int count = std::stoi(ReadWhole(dir / "record" / "argc"));
        for (int i = 1; i <= count; ++i) {
            args.push_back(ReadWhole(dir / "record" / ("arg" + std::to_string(i))));
        }
        return args;
    }

    test::TempDir dir;

private:
    std::string m_oldPath;
};

TEST_F(DesktopOpener, AnAddressTravelsAsOneArgumentWhateverItHolds)
{
    InstallOpener(0);
    const std::string canary = (dir / "canary").string();
    const std::string address = "https://www.google.com/search?hl=en&q=my lib & \"x\" 'y' #z "
                                "; touch " +
                                canary + " $(touch " + canary + ") `touch " + canary + "` | >" +
                                canary + " *.dll\\ ~";
    EXPECT_TRUE(ShellOpenDocument(address, kShowDefault, "", "", "open", 0));
    ASSERT_TRUE(WaitForOpener());
    EXPECT_EQ(Arguments(), std::vector<std::string>{address});
    EXPECT_FALSE(fs::exists(canary));
}

TEST_F(DesktopOpener, NoOpenerOnThePathIsNoAssociation)
{
    EXPECT_FALSE(ShellOpenDocument("https://example.org/", kShowDefault, "", "", "open", 0));
    EXPECT_EQ(LastShellError().number, -2147220425);
    EXPECT_EQ(LastShellError().description, "No application is associated with this file type.");
}

TEST_F(DesktopOpener, AMissingFileIsReportedWithoutStartingTheOpener)
{
    InstallOpener(0);
    EXPECT_FALSE(
        ShellOpenDocument((dir / "missing.txt").string(), kShowDefault, "", "", "open", 0));
    EXPECT_EQ(LastShellError().number, 53);
    EXPECT_EQ(LastShellError().description, "File not found");
    EXPECT_FALSE(ShellOpenDocument((dir / "no-folder" / "missing.txt").string(), kShowDefault, "",
                                   "", "open", 0));
    EXPECT_EQ(LastShellError().number, 76);
    EXPECT_FALSE(ShellOpenDocument("", kShowDefault, "", "", "open", 0));
    EXPECT_EQ(LastShellError().number, 53);
    EXPECT_FALSE(OpenerRan());
}

TEST_F(DesktopOpener, AnExistingFileIsOpenedAndNeverTakenForAnOption)
{
    InstallOpener(0);
    dir.Write("-v", "text");
    EXPECT_TRUE(ShellOpenDocument("-v", kShowDefault, "", dir.Path().string(), "open", 0));
    ASSERT_TRUE(WaitForOpener());
    EXPECT_EQ(Arguments(), std::vector<std::string>{"./-v"});
    EXPECT_EQ(ReadWhole(dir / "record" / "cwd"), fs::canonical(dir.Path()).string() + "\n");
}

TEST_F(DesktopOpener, TheOpenerIsLeftToRunItsOwnVerdictNeverAwaited)
{
    // Even an opener that fails at once is not waited for: the caller has gone on by then.
    InstallOpener(3);
    EXPECT_TRUE(ShellOpenDocument("https://example.org/", kShowDefault, "", "", "open", 0));
    EXPECT_TRUE(WaitForOpener());
}

TEST_F(DesktopOpener, OnlyTheOpenVerbIsKnown)
{
    InstallOpener(0);
    EXPECT_FALSE(ShellOpenDocument("https://example.org/", kShowDefault, "", "", "print", 0));
    EXPECT_EQ(LastShellError().number, -2147220425);
    EXPECT_FALSE(OpenerRan());
    EXPECT_FALSE(ShellOpenDocument("https://example.org/", kShowDefault, "",
                                   (dir / "nowhere").string(), "open", 0));
    EXPECT_EQ(LastShellError().number, 76);
}

} // namespace
} // namespace quorvane
