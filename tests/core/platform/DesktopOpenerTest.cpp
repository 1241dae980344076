// The Linux stand-ins: for the shell, the desktop opener (a fake xdg-open on PATH records what it
// was given); for the system folder, $QUORVANE_SYSTEM_DIR, else the Wine prefix's system32.
#include "core/platform/modShellExecute.h"
#include "core/platform/modSysFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// PATH holds only a folder with a fake opener that records its arguments and then its working
// folder, and then fails: nobody waits for its verdict.
class DesktopOpener : public ::testing::Test {
protected:
    DesktopOpener()
    {
        fs::create_directories(dir / "bin");
        fs::permissions(dir.Write("bin/xdg-open", R"sh(#!/bin/sh
printf '%s\0' "$@" "$(pwd)" > "$QUORVANE_TEST_RECORD.new"
/bin/mv "$QUORVANE_TEST_RECORD.new" "$QUORVANE_TEST_RECORD"
exit 3
)sh"),
                        fs::perms::owner_all);
    }
    // The opener runs on its own once started: its record comes when it comes.
    std::vector<std::string> Record() const
    {
        for (int wait = 0; wait < 4000 && !fs::exists(dir / "record"); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::ifstream in(dir / "record", std::ios::binary);
        std::vector<std::string> items;
        for (std::string item; std::getline(in, item, '\0');) {
            items.push_back(item);
        }
        return items;
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

TEST_F(DesktopOpener, AnAddressOrAFileTravelsAsOneArgumentWhateverItHolds)
{
    const std::string canary = (dir / "canary").string();
    const std::string address = "https://www.google.com/search?hl=en&q=my lib & \"x\" 'y' #z ; "
                                "touch " +
                                canary + " $(touch " + canary + ") `touch " + canary + "` | >" +
                                canary + " *.dll\\ ~";
    EXPECT_TRUE(Open(address));
    EXPECT_EQ(Record(), (std::vector<std::string>{address, fs::current_path().string()}));
    EXPECT_FALSE(fs::exists(canary));
    // An existing file is opened in its folder, and never taken for an option.
    fs::remove(dir / "record");
    dir.Write("-v", "text");
    EXPECT_TRUE(Open("-v", dir.Path().string()));
    EXPECT_EQ(Record(), (std::vector<std::string>{"./-v", fs::canonical(dir.Path()).string()}));
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
    EXPECT_FALSE(fs::exists(dir / "record"));
}

TEST(GetSystemFolder, TheNamedFolderElseTheWinePrefixsSystem32)
{
    test::TempDir dir;
    const std::string prefix = (dir / "wine").string();
    std::filesystem::create_directories(prefix + "/drive_c/windows/system32");
    std::filesystem::create_directories(dir / "home/.wine/drive_c/windows/system32");
    std::filesystem::create_directories(dir / "fileprefix/drive_c/windows");
    dir.Write("fileprefix/drive_c/windows/system32", "");
    const std::string longFolder = "/" + std::string(700, 'd'); // longer than the first buffer
    const struct {
        std::optional<std::string> named, wine, home;
        std::string expected;
    } rows[] = {
        {"/opt/windows/system32//", prefix, {}, "/opt/windows/system32"},
        {"/", prefix, {}, "/"}, // the root stays the root
        {longFolder, {}, {}, longFolder},
        {"", prefix + "/", {}, prefix + "/drive_c/windows/system32"},
        {{}, {}, (dir / "home").string(), (dir / "home/.wine/drive_c/windows/system32").string()},
        {{}, (dir / "no-such-prefix").string(), {}, ""},
        {{}, (dir / "fileprefix").string(), {}, ""}, // system32 is a file
        {{}, {}, {}, ""},
    };
    for (const auto &row : rows) {
        const test::ScopedEnv named("QUORVANE_SYSTEM_DIR", row.named);
        const test::ScopedEnv wine("WINEPREFIX", row.wine);
        const test::ScopedEnv home("HOME", row.home);
        EXPECT_EQ(GetSystemFolder(), row.expected)
            << row.named.value_or("-") << ' ' << row.wine.value_or("-");
    }
}

} // namespace
} // namespace quorvane
