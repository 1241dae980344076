// The system folder on Linux: $QUORVANE_SYSTEM_DIR, else the Wine prefix's system32.
#include "core/platform/modSysFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

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
