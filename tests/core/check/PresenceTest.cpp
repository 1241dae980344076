// The file search behind the missing-dependency check, on real folders.
#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <random>
#include <stdexcept>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// A folder access that records which folders were read, over the real one.
struct RecordingAccess {
    std::vector<std::string> listed;
    FilePresenceServices Access()
    {
        FilePresenceServices platform = FilePresenceServices::Platform();
        return {[this, platform](const std::string &folder, const FolderEntryVisitor &visit) {
                    listed.push_back(folder);
                    return platform.list(folder, visit);
                },
                platform.isRegularFile};
    }
};

// TempDir::Write with the folders on the way made first.
void Touch(const test::TempDir &dir, const std::string &relative)
{
    fs::create_directories((dir / relative).parent_path());
    dir.Write(relative, "");
}

class Presence : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = (dir / "app").string() + "/";
        Touch(dir, "app/KERNEL32.dll");
        Touch(dir, "app/.hidden.dll");
        fs::create_directories(dir / "app" / "Folder.dll");
        fs::create_symlink("KERNEL32.dll", dir / "app" / "link.dll");
        fs::create_symlink("nowhere.dll", dir / "app" / "dangling.dll");
        fs::create_symlink("Folder.dll", dir / "app" / "folderlink.dll");
        // On a file system that tells letter case apart, a folder and a file may share a name.
        fs::create_directories(dir / "app" / "Both.dll");
        Touch(dir, "app/BOTH.DLL");
        Touch(dir, "app/sub/inner.dll");
        Touch(dir, "outside/secret.dll");
    }
    test::TempDir dir;
    std::string app;
};

TEST_F(Presence, RegularFilesAreFoundWithoutRegardToLetterCase)
{
    EXPECT_TRUE(IsFilePresent(app, "KERNEL32.dll"));
    EXPECT_TRUE(IsFilePresent(app, "kernel32.DLL"));
    EXPECT_TRUE(IsFilePresent(app, "both.dll"));
    EXPECT_FALSE(IsFilePresent(app, "KERNEL32.dl"));
    EXPECT_FALSE(IsFilePresent(app, "KERNEL32.dll "));
    EXPECT_FALSE(IsFilePresent(app, ""));
}

TEST_F(Presence, HiddenFilesFoldersAndDanglingLinksAreNeverFound)
{
    EXPECT_FALSE(IsFilePresent(app, ".hidden.dll"));
    EXPECT_FALSE(IsFilePresent(app, ".HIDDEN.DLL"));
    EXPECT_FALSE(IsFilePresent(app, "Folder.dll"));
    EXPECT_FALSE(IsFilePresent(app, "dangling.dll"));
    EXPECT_FALSE(IsFilePresent(app, "folderlink.dll"));
    EXPECT_TRUE(IsFilePresent(app, "LINK.dll")); // a link to a regular file is that file
}

TEST_F(Presence, NamesThatLeaveTheFolderAreAbsentAndReadNoFolder)
{
    const std::string names[] = {
        "../outside/secret.dll",
        "..\\outside\\secret.dll",
        "sub/inner.dll",
        "sub\\inner.dll",
        (dir / "outside" / "secret.dll").string(),
        "C:secret.dll",
        "C:\\outside\\secret.dll",
        "\\\\host\\share\\x.dll",
        "..",
        ".",
        std::string("KERNEL32.dll\0/x", 15),
    };
    // Each of these files is there, for a path that is trusted as a whole.
    ASSERT_TRUE(IsFilePresent(app + "../outside/secret.dll"));
    ASSERT_TRUE(IsFilePresent(app + "sub/inner.dll"));
    RecordingAccess recording;
    FolderCache cache(recording.Access());
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsFilePresent(app, name, recording.Access()));
        EXPECT_FALSE(cache.IsPresent(app, name));
        EXPECT_FALSE(IsPlainFileName(name));
    }
    EXPECT_EQ(recording.listed, std::vector<std::string>{});
    EXPECT_TRUE(IsPlainFileName("a..b.dll"));
}

TEST_F(Presence, PrefixAndNameAreJoinedAsTheyStand)
{
    // A prefix without its separator runs into the name: "app" + "KERNEL32.dll" is a file in the
    // folder above, named "appKERNEL32.dll".
    Touch(dir, "appKERNEL32.dll");
    const std::string noSeparator = (dir / "app").string();
    EXPECT_TRUE(IsFilePresent(noSeparator, "KERNEL32.dll"));
    EXPECT_FALSE(IsFilePresent(noSeparator, "link.dll"));
    EXPECT_TRUE(IsFilePresent(app + "KERNEL32.dll"));
    EXPECT_FALSE(IsFilePresent(app + "Folder.dll"));
    EXPECT_FALSE(IsFilePresent(app + "sub/"));
}

TEST_F(Presence, AnEmptyPrefixSearchesTheCurrentFolder)
{
    const fs::path before = fs::current_path();
    fs::current_path(dir / "app");
    const bool found = IsFilePresent("", "kernel32.dll");
    const bool foundByCache = FolderCache().IsPresent("", "kernel32.dll");
    fs::current_path(before);
    EXPECT_TRUE(found);
    EXPECT_TRUE(foundByCache);
}

TEST_F(Presence, TheCacheGivesTheSameAnswersAndReadsEachFolderOnce)
{
    // A crowd of entries of every kind, and names in other cases, with and without a match.
    std::mt19937 random(7);
    std::vector<std::string> names = {
        "KERNEL32.dll",   "kernel32.dll", ".hidden.dll", "Folder.dll", "link.dll",  "dangling.dll",
        "folderlink.dll", "both.dll",     "BOTH.DLL",    "sub",        "inner.dll", "",
        "nothing.dll",    "Ä.dll",        "ä.dll"};
    Touch(dir, "app/Ä.dll");
    for (int i = 0; i < 300; ++i) {
        std::string name = "Lib" + std::to_string(i) + ".Dll";
        switch (random() % 5) {
        case 0:
            Touch(dir, "app/" + name);
            break;
        case 1:
            fs::create_directories(dir / "app" / name);
            break;
        case 2:
            fs::create_symlink(random() % 2 ? "KERNEL32.dll" : "gone", dir / "app" / name);
            break;
        case 3:
            Touch(dir, "app/." + name);
            break;
        default:
            break;
        }
        for (std::string variant : {name, "." + name}) {
            std::transform(variant.begin(), variant.end(), variant.begin(), [&](char c) {
                return static_cast<char>(random() % 2 ? std::toupper(c) : std::tolower(c));
            });
            names.push_back(variant);
        }
    }
    RecordingAccess recording;
    FolderCache cache(recording.Access());
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(cache.IsPresent(app, name), IsFilePresent(app, name));
        EXPECT_EQ(cache.IsPresent(app, name), IsFilePresent(app, name)); // and from memory
    }
    EXPECT_FALSE(cache.IsPresent(app, "ä.dll")); // letter case is ASCII only
    EXPECT_EQ(recording.listed, std::vector<std::string>{app});
}

TEST_F(Presence, AFolderThatCannotBeReadHoldsNothing)
{
    RecordingAccess recording;
    FolderCache cache(recording.Access());
    EXPECT_FALSE(cache.IsPresent(app + "missing/", "KERNEL32.dll"));
    EXPECT_FALSE(cache.IsPresent(app + "missing/", "kernel32.dll"));
    EXPECT_FALSE(
        cache.IsPresent(app + "KERNEL32.dll/", "x.dll")); // a file where a folder should be
    EXPECT_EQ(recording.listed.size(), 2u);
}

TEST(Prefixes, ApplicationPrefixRunsToTheLastSeparator)
{
    EXPECT_EQ(ApplicationPrefix("/opt/app/bin/tool.exe"), "/opt/app/bin/");
    EXPECT_EQ(ApplicationPrefix("/tool.exe"), "/");
    EXPECT_EQ(ApplicationPrefix("tool.exe"), "");
    EXPECT_EQ(ApplicationPrefix(""), "");
    EXPECT_EQ(ApplicationPrefix("dir/"), "dir/");
    EXPECT_EQ(ApplicationPrefix("my apps/x y/tool.exe"), "my apps/x y/");
    // A backslash is part of a Linux file name.
    EXPECT_EQ(ApplicationPrefix("C:\\Apps\\tool.exe"), "");
    EXPECT_EQ(ApplicationPrefix("/mnt/c\\d/tool.exe"), "/mnt/c\\d/");
}

TEST(Prefixes, SystemPrefixAddsOneSeparatorAlsoToTheEmptyFolder)
{
    EXPECT_EQ(SystemPrefix("/opt/wine/drive_c/windows/system32"),
              "/opt/wine/drive_c/windows/system32/");
    EXPECT_EQ(SystemPrefix(""), "/");
}

class MissingNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = (dir / "app").string() + "/";
        sys = (dir / "sys").string() + "/";
        Touch(dir, "app/OnlyApp.dll");
        Touch(dir, "sys/onlysys.dll");
        Touch(dir, "app/Both.dll");
        Touch(dir, "sys/Both.dll");
        Touch(dir, "sys/.Hidden.dll");
        fs::create_directories(dir / "sys" / "Folder.dll");
    }
    test::TempDir dir;
    std::string app;
    std::string sys;
};

TEST_F(MissingNames, NamesInNeitherFolderComeBackInListOrderWithDuplicates)
{
    const std::vector<std::string> names = {"Both.dll",    "Gone.dll",    "ONLYAPP.DLL",
                                            "OnlySys.dll", ".Hidden.dll", "Folder.dll",
                                            "Gone.dll",    "Another.dll"};
    EXPECT_EQ(FindMissingNames(app, sys, names),
              (std::vector<std::string>{"Gone.dll", ".Hidden.dll", "Folder.dll", "Gone.dll",
                                        "Another.dll"}));
    EXPECT_EQ(FindMissingNames(app, sys, {}), std::vector<std::string>{});
}

TEST_F(MissingNames, BothFoldersAreSearchedForEveryName)
{
    std::vector<std::pair<std::string, std::string>> searches;
    const PresenceTest recording = [&](const std::string &prefix, const std::string &name) {
        searches.emplace_back(prefix, name);
        return true;
    };
    EXPECT_TRUE(FindMissingNames("A/", "S/", {"x.dll", "y.dll"}, recording).empty());
    EXPECT_EQ(searches, (std::vector<std::pair<std::string, std::string>>{
                            {"A/", "x.dll"}, {"S/", "x.dll"}, {"A/", "y.dll"}, {"S/", "y.dll"}}));
}

TEST_F(MissingNames, ANameWhoseSearchFailsCountsAsMissing)
{
    const PresenceTest failing = [](const std::string &, const std::string &name) -> bool {
        if (name == "bad.dll") {
            throw std::runtime_error("search failed");
        }
        return true;
    };
    EXPECT_EQ(FindMissingNames("A/", "S/", {"a.dll", "bad.dll", "b.dll", "bad.dll"}, failing),
              (std::vector<std::string>{"bad.dll", "bad.dll"}));
}

TEST_F(MissingNames, AnEmptySystemFolderSearchesUnderTheLoneSeparator)
{
    RecordingAccess recording;
    FolderCache cache(recording.Access());
    const PresenceTest search = [&](const std::string &prefix, const std::string &name) {
        return cache.IsPresent(prefix, name);
    };
    EXPECT_EQ(FindMissingNames(app, SystemPrefix(""), {"OnlyApp.dll", "nowhere.dll"}, search),
              std::vector<std::string>{"nowhere.dll"});
    EXPECT_EQ(recording.listed, (std::vector<std::string>{app, "/"}));
}

} // namespace
} // namespace quorvane
