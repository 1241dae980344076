// The system folder on Linux: $QUORVANE_SYSTEM_DIR, else the Wine prefix's system32.
#include "core/platform/modSysFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Sets variables for one test and puts the old values back afterwards.
class Environment : public ::testing::Test {
protected:
    void Set(const std::string &name, const std::optional<std::string> &value)
    {
        if (!m_saved.count(name)) {
            const char *old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    void TearDown() override
    {
        for (const auto &[name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    std::string MakeSystem32(const fs::path &prefix)
    {
        const fs::path system32 = prefix / "drive_c" / "windows" / "system32";
        fs::create_directories(system32);
        return system32.string();
    }
    test::TempDir dir;

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST_F(Environment, NamedFolderComesFirstWithoutItsTrailingSlash)
{
    const std::string prefix = (dir / "wine").string();
    MakeSystem32(prefix);
    Set("WINEPREFIX", prefix);
    Set("QUORVANE_SYSTEM_DIR", "/opt/windows/system32//");
    EXPECT_EQ(GetSystemFolder(), "/opt/windows/system32");
    Set("QUORVANE_SYSTEM_DIR", "/"); // the root stays the root
    EXPECT_EQ(GetSystemFolder(), "/");
}

TEST_F(Environment, EmptyNamedFolderFallsBackToTheWinePrefix)
{
    const std::string prefix = (dir / "wine").string();
    const std::string system32 = MakeSystem32(prefix);
    Set("QUORVANE_SYSTEM_DIR", "");
    Set("WINEPREFIX", prefix + "/");
    EXPECT_EQ(GetSystemFolder(), system32);
}

TEST_F(Environment, WinePrefixDefaultsToDotWineInHome)
{
    const std::string system32 = MakeSystem32(dir / ".wine");
    Set("QUORVANE_SYSTEM_DIR", std::nullopt);
    Set("WINEPREFIX", std::nullopt);
    Set("HOME", dir.Path().string());
    EXPECT_EQ(GetSystemFolder(), system32);
}

TEST_F(Environment, NoSystemFolderGivesTheEmptyText)
{
    Set("QUORVANE_SYSTEM_DIR", std::nullopt);
    Set("WINEPREFIX", (dir / "no-such-prefix").string());
    EXPECT_EQ(GetSystemFolder(), "");
    // system32 as a file, not a folder
    fs::create_directories(dir / "fileprefix" / "drive_c" / "windows");
    dir.Write("fileprefix/drive_c/windows/system32", "");
    Set("WINEPREFIX", (dir / "fileprefix").string());
    EXPECT_EQ(GetSystemFolder(), "");
    Set("WINEPREFIX", std::nullopt);
    Set("HOME", std::nullopt);
    EXPECT_EQ(GetSystemFolder(), "");
}

TEST_F(Environment, AFolderLongerThanTheFirstBufferComesWhole)
{
    const std::string longFolder = "/" + std::string(700, 'd');
    Set("QUORVANE_SYSTEM_DIR", longFolder);
    EXPECT_EQ(GetSystemFolder(), longFolder);
}

} // namespace
} // namespace quorvane
