// The Linux stand-in for the shell: a fake xdg-open on PATH records what it was given.
#include "core/platform/modShellExecute.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// PATH holds only a folder with a fake opener that records its working folder and its arguments,
// one file each, and then fails: nobody waits for its verdict.
class DesktopOpener : public ::testing::Test {
protected:
    DesktopOpener()
    {
        fs::create_directories(dir / "record");
        fs::create_directories(dir / "bin");
        fs::permissions(dir.Write("bin/xdg-open", R"(#!/bin/sh
exec >/dev/null 2>&1
pwd > "$QUORVANE_TEST_RECORD/cwd"
i=0
for a in "$@"; do i=$((i+1)); printf '%s' "$a" > "$QUORVANE_TEST_RECORD/arg$i"; done
echo $# > "$QUORVANE_TEST_RECORD/argc.new" && /bin/mv "$QUORVANE_TEST_RECORD/argc.new" "$QUORVANE_TEST_RECORD/argc"
exit 3
)"),
                        fs::perms::owner_all);
    }
    // The opener runs on its own once started: its record comes when it comes.
    std::vector<std::string> Arguments() const
    {
        for (int wait = 0; wait < 4000 && !fs::exists(dir / "record" / "argc"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::vector<std::string> args;
        int count = 0;
        std::ifstream(dir / "record" / "argc") >> count;
        for (int i = 1; i <= count; ++i) {
            args.push_back(ReadWhole(dir / "record" / ("arg" + std::to_string(i))));
        }
        return args;
    }
    bool Open(const std::string &document, const std::string &directory = "",
              const std::string &operation = "open")
    {
        return ShellOpenDocument(document, kShowDefault, "", directory, operation, 0);
    }

    test::TempDir dir;
    test::ScopedEnv path{"PATH", (dir / "bin").string()};
    test::ScopedEnv record{"QUORVANE_TEST_RECORD", (dir / "record").string()};
};

TEST_F(DesktopOpener, AnAddressTravelsAsOneArgumentWhateverItHolds)
{
    const std::string canary = (dir / "canary").string();
    const std::string address = "https://www.google.com/search?hl=en&q=my lib & \"x\" 'y' #z ; "
                                "touch " +
                                canary + " $(touch " + canary + ") `touch " + canary + "` | >" +
                                canary + " *.dll\\ ~";
    EXPECT_TRUE(Open(address));
    EXPECT_EQ(Arguments(), std::vector<std::string>{address});
    EXPECT_FALSE(fs::exists(canary));
}

TEST_F(DesktopOpener, AnExistingFileIsOpenedInItsFolderAndNeverTakenForAnOption)
{
    dir.Write("-v", "text");
    EXPECT_TRUE(Open("-v", dir.Path().string()));
    EXPECT_EQ(Arguments(), std::vector<std::string>{"./-v"});
    EXPECT_EQ(ReadWhole(dir / "record" / "cwd"), fs::canonical(dir.Path()).string() + "\n");
}

// What the shell would refuse is refused before any opener starts.
TEST_F(DesktopOpener, FailuresMapOntoShellCodesWithoutStartingTheOpener)
{
    const std::string address = "https://example.org/";
    const struct {
        std::string document, directory, operation;
        std::int32_t number;
    } rows[] = {
        {address, "", "print", -2147220425}, // the opener knows no other verb
        {address, (dir / "nowhere").string(), "open", 76},
        {(dir / "missing.txt").string(), "", "open", 53},
        {(dir / "no-folder" / "missing.txt").string(), "", "open", 76},
        {"", "", "open", 53},
        {address, "", "", -2147220425}, // no opener on PATH: no application
    };
    for (const auto &row : rows) {
        if (row.operation.empty()) {
            fs::remove(dir / "bin" / "xdg-open");
        }
        EXPECT_FALSE(Open(row.document, row.directory, row.operation)) << row.document;
        EXPECT_EQ(LastShellError().number, row.number) << row.document;
    }
    EXPECT_FALSE(fs::exists(dir / "record" / "argc"));
}

} // namespace
} // namespace quorvane
