// The file search behind the missing-dependency check, on real folders: what counts as present,
// with and without the folder cache; names that would leave the folder; the missing list; the
// dependency a window is opened on.
#include "core/check/DependencyActions.h"
#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The platform's folder access, recording which folders were read.
FilePresenceServices Recording(Names &listed)
{
    FilePresenceServices platform = FilePresenceServices::Platform();
    return {[&listed, platform](const std::string &folder, const FolderEntryVisitor &visit) {
                listed.push_back(folder);
                return platform.list(folder, visit);
            },
            platform.isRegularFile};
}

class Presence : public ::testing::Test {
protected:
    Presence()
    {
        // A folder and a file may share a name in other cases (Both.dll, BOTH.DLL).
        for (const char *folder : {"app/Folder.dll", "app/Both.dll", "app/sub", "outside"}) {
            fs::create_directories(dir / folder);
        }
        for (const char *file :
             {"app/KERNEL32.dll", "app/zlib1.dll", "app/.hidden.dll", "app/BOTH.DLL", "app/Ä.dll",
              "app/Twin.dll", "app/TWIN.DLL", "app/sub/inner.dll", "outside/secret.dll"}) {
            dir.Write(file, "");
        }
        fs::create_symlink("KERNEL32.dll", dir / "app" / "link.dll");
        fs::create_symlink("nowhere.dll", dir / "app" / "dangling.dll");
        fs::create_symlink("Folder.dll", dir / "app" / "folderlink.dll");
    }
    test::TempDir dir;
    std::string app = ApplicationPrefix((dir / "app" / "tool.exe").string());
};

// Names that would leave the folder are never found and read no folder, though a trusted path
// finds the file they lead to.
TEST_F(Presence, RegularFilesAndLinksToThemAreFoundInAnyCaseWithOrWithoutTheCache)
{
    const Names present = {"KERNEL32.dll", "kernel32.DLL", "ZLIB1.DLL",
                           "both.dll",     "LINK.dll",     "Ä.dll"};
    const Names absent = {"ä.dll",        "KERNEL32.dl",   "KERNEL32.dll ", "",
                          "a..b.dll",     ".hidden.dll",   ".HIDDEN.DLL",   "Folder.dll",
                          "dangling.dll", "folderlink.dll"};
    const std::string absolute = (dir / "outside" / "secret.dll").string(), nul("A.dll\0/x", 9);
    const Names elsewhere = {"../outside/secret.dll", "..\\outside\\secret.dll",
                             "sub/inner.dll",         "sub\\inner.dll",
                             "C:secret.dll",          "C:\\outside\\secret.dll",
                             "\\\\host\\share\\x.dll"};
    ASSERT_TRUE(IsFilePresent(app + "../outside/secret.dll"));
    Names plainReads, otherReads, cacheReads;
    FolderCache cache(Recording(cacheReads));
    for (const auto &[names, found, plain] :
         {std::tuple(present, true, true), std::tuple(absent, false, true),
          std::tuple(elsewhere, false, false),
          std::tuple(Names{"..", ".", absolute, nul}, false, false)}) {
        for (const std::string &name : names) {
            EXPECT_EQ(IsFilePresent(app, name, Recording(plain ? plainReads : otherReads)), found)
                << name;
            EXPECT_EQ(plain && IsFilePresent(app + name), found) << name;
            EXPECT_EQ(IsPlainFileName(name), plain) << name;
            EXPECT_EQ(cache.IsPresent(app, name), found) << name << " (cache)";
        }
    }
    EXPECT_EQ(otherReads, Names{});
    EXPECT_EQ(cache.FindEntry(app, "kernel32.DLL"), "KERNEL32.dll");
    // A folder that cannot be read holds nothing; each folder is read once.
    EXPECT_FALSE(cache.IsPresent(app + "missing/", "KERNEL32.dll") ||
                 cache.IsPresent(app + "missing/", "kernel32.dll"));
    EXPECT_EQ(cacheReads, (Names{app, app + "missing/"}));
}

TEST_F(Presence, MissingNamesAreThoseInNeitherFolderInListOrder)
{
    const std::string sys = SystemPrefix((dir / "outside").string());
    EXPECT_EQ(FindMissingNames(app, sys, {"Gone.dll", "zlib1.dll", "SECRET.DLL", "Gone.dll"}),
              (Names{"Gone.dll", "Gone.dll"}));
    EXPECT_EQ(SystemPrefix(""), "/"); // an empty system folder is searched under "/"
    // Both folders for every name; a search that fails proves nothing is there.
    Names searches;
    const PresenceTest search = [&](const std::string &prefix, const std::string &name) -> bool {
        searches.push_back(prefix + name);
        return name == "bad.dll" ? throw std::runtime_error("search failed") : prefix == "S/";
    };
    EXPECT_EQ(FindMissingNames("A/", "S/", {"x.dll", "bad.dll"}, search), Names{"bad.dll"});
    EXPECT_EQ(searches, (Names{"A/x.dll", "S/x.dll", "A/bad.dll"}));
}

// The file a window is opened on: the application folder first, then the system folder, spelt as
// on disk (of two case twins the first in byte order, whatever order the folder lists them in);
// never a name that would lead elsewhere.
TEST_F(Presence, TheDependencyOpenedIsFoundInTheTwoFoldersAndSpeltAsOnDisk)
{
    const DependencyLookupServices lookup{
        [](const std::string &path) { return IsFilePresent(path); },
        [this] { return (dir / "outside").string(); }};
    const std::string tool = app + "tool.exe", outside = (dir / "outside").string() + "/";
    EXPECT_EQ(FindDependency(tool, "kernel32.DLL", lookup), app + "KERNEL32.dll");
    EXPECT_EQ(FindDependency(tool, "twin.dll", lookup), app + "TWIN.DLL");
    EXPECT_EQ(FindDependency(tool, "Secret.dll", lookup), outside + "secret.dll");
    EXPECT_EQ(FindDependency(tool, "../outside/secret.dll", lookup), std::nullopt);
    EXPECT_EQ(FindDependency(tool, "gone.dll", lookup), std::nullopt);
}

} // namespace
} // namespace quorvane
