// ShellOpenDocument on Linux: the record each answer of the shell leaves, and the desktop opener (a
// fake xdg-open on PATH records what it was given); the system folder: $QUORVANE_SYSTEM_DIR, else
// the Wine prefix's system32.
#include "core/platform/modShellExecute.h"
#include "core/platform/modSysFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Through a shell that answers with answer (none: the call cannot be made): the ends of the failure
// codes, a code with a number of its own and one without, success (which clears the record a
// failure left); a web search, though it holds ".exe", in a normal window.
TEST(ShellOpenDocument, EachAnswerOfTheShellLeavesItsRecord)
{
    std::int32_t shown = -1;
    const auto open = [&](std::optional<std::intptr_t> answer) {
        return ShellOpenDocument(
            "https://example.org/?q=setup.exe", kShowDefault, "", "", "open", 77,
            [&](WindowHandle, const std::string &, const std::string &, const std::string &,
                const std::string &, std::int32_t show) -> std::intptr_t {
                shown = show;
                return answer ? *answer : throw std::runtime_error("no shell");
            });
    };
    const std::tuple<std::optional<std::intptr_t>, std::int32_t, const char *> rows[] = {
        {0, 7, "Out of memory"},
        {1, -2147220455,
         "An error occurred occurred whilst trying to open or print the selected file."},
        {2, 53, "File not found"},
        {32, 48, "The specified dynamic-link library was not found."},
        {33, 0, ""},
        {-1, 0, ""},
        {std::nullopt, 7, "Out of memory"},
    };
    for (const auto &[answer, number, message] : rows) {
        open(2);
        EXPECT_EQ(open(answer), number == 0);
        EXPECT_EQ(shown, kShowNormal);
        EXPECT_EQ(LastShellError().number, number) << answer.value_or(-99);
        EXPECT_EQ(LastShellError().description, message);
        EXPECT_EQ(LastShellError().source, number ? "quorvane_platform_tests.GShell" : "");
    }
}

// PATH holds only a folder with a fake opener that records its arguments and then its working
// folder, and then fails: nobody waits for its verdict. What the shell would refuse is refused
// before any opener starts; an address or a file travels as one argument, whatever it holds.
TEST(DesktopOpener, OneArgumentReachesTheOpenerOrAShellCodeComesBackWithoutIt)
{
    test::TempDir dir;
    fs::permissions(dir.Write("xdg-open", R"sh(#!/bin/sh
printf '%s\n' "$@" "$(pwd)" > "$0.new"
/bin/mv "$0.new" "$0.record"
exit 3
)sh"),
                    fs::perms::owner_all);
    const test::ScopedEnv path{"PATH", dir.Path().string()};
    const fs::path record = dir / "xdg-open.record";
    const std::string canary = (dir / "canary").string(), folder = dir.Path().string();
    const std::string touch = "touch " + canary, cwd = fs::current_path().string() + "\n";
    const std::string address = "https://www.google.com/search?hl=en&q=my lib & \"x\" 'y' #z ; $(" +
                                touch + ") `" + touch + "` | >" + canary + " *.dll\\ ~";
    dir.Write("-v", "text");
    // Document, folder, verb; the shell code (0: opened) and the lines the opener was given.
    const std::tuple<std::string, std::string, std::string, std::int32_t, std::string> rows[] = {
        {address, "", "open", 0, address + "\n" + cwd},
        // never an option
        {"-v", folder, "open", 0, "./-v\n" + fs::canonical(folder).string() + "\n"},
        {folder + "/missing.txt", "", "open", 53, ""},
        {folder + "/no-folder/missing.txt", "", "open", 76, ""},
        {"", "", "open", 53, ""},
        {address, "", "", -2147220425, ""}, // no opener on PATH: no application
    };
    for (const auto &[document, directory, operation, number, lines] : rows) {
        if (operation.empty()) {
            fs::remove(dir / "xdg-open");
        }
        EXPECT_EQ(ShellOpenDocument(document, kShowDefault, "", directory, operation, 0), !number);
        EXPECT_EQ(LastShellError().number, number) << document;
        // The opener runs on its own once started: its record comes when it comes.
        for (int wait = 0; !lines.empty() && wait < 4000 && !fs::exists(record); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const std::ifstream text(record, std::ios::binary);
        EXPECT_EQ((std::ostringstream() << text.rdbuf()).str(), lines) << document;
        fs::remove(record);
    }
    EXPECT_FALSE(fs::exists(canary) || fs::exists(record));
}

TEST(GetSystemFolder, TheNamedFolderElseTheWinePrefixsSystem32)
{
    test::TempDir dir;
    const std::string prefix = (dir / "wine").string();
    fs::create_directories(prefix + "/drive_c/windows/system32");
    fs::create_directories(dir / "home/.wine/drive_c/windows/system32");
    fs::create_directories(dir / "fileprefix/drive_c/windows");
    dir.Write("fileprefix/drive_c/windows/system32", "");
    using Env = std::optional<std::string>; // $QUORVANE_SYSTEM_DIR, $WINEPREFIX, $HOME; the folder
    const std::tuple<Env, Env, Env, std::string> rows[] = {
        {"/opt/windows/system32//", prefix, {}, "/opt/windows/system32"},
        {"/", prefix, {}, "/"}, // the root stays the root
        // longer than the first buffer
        {"/" + std::string(700, 'd'), {}, {}, "/" + std::string(700, 'd')},
        {"", prefix + "/", {}, prefix + "/drive_c/windows/system32"},
        {{}, {}, (dir / "home").string(), (dir / "home/.wine/drive_c/windows/system32").string()},
        {{}, (dir / "no-such-prefix").string(), {}, ""},
        {{}, (dir / "fileprefix").string(), {}, ""}, // system32 is a file
        {{}, {}, {}, ""},
    };
    for (const auto &[named, wine, home, expected] : rows) {
        const test::ScopedEnv a("QUORVANE_SYSTEM_DIR", named), b("WINEPREFIX", wine),
            c("HOME", home);
        EXPECT_EQ(GetSystemFolder(), expected) << named.value_or("-") << ' ' << wine.value_or("-");
    }
}

} // namespace
} // namespace quorvane
