// The dependency closure and the folder report over built DLLs in temporary folders: the search
// order, cycles, delay loading, names that are not looked for, damaged files, the system's own
// DLLs, and the report's one list of missing names from files read in parallel.
#include "core/packager/DependencyClosure.h"
#include "core/packager/FolderReport.h"
#include "core/packager/SearchOrder.h"
#include "support/PackagerTestSupport.h"
#ifndef _WIN32
#include "support/ScopedEnv.h"
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::WritePe;

class Packager : public ::testing::Test {
protected:
    auto P(const std::string &relative) const { return (dir / relative).make_preferred().string(); }
    /// The search order with a system folder "sys" (never the machine's own), or with none.
    SearchOrder Order(const std::vector<std::string> &search, bool withSystemFolder = true)
    {
        fs::create_directories(dir / "sys");
        std::string problem; // none: the folders exist
        return SearchOrder::Make(search, withSystemFolder ? std::optional(P("sys")) : std::nullopt,
                                 std::nullopt, problem)
            .value();
    }
    ClosureResult Build(const std::string &root, const std::vector<std::string> &search = {},
                        bool withSystemFolder = true)
    {
        FolderCache folders;
        PeFactsCache facts;
        return ClosureBuilder(Order(search, withSystemFolder), folders, facts).Build(P(root));
    }
    template <typename T> static const T &Find(const std::vector<T> &all, const std::string &name)
    {
        const auto it = std::ranges::find(all, name, &T::name);
        return it != all.end() ? *it : throw std::runtime_error("not in the closure: " + name);
    }
    test::TempDir dir;
};
class Closure : public Packager {};
class Report : public Packager {};

TEST_F(Closure, FollowsTheSearchOrderAndVisitsEachDllOnce)
{
    WritePe(P("app/app.exe"), {"one.dll", "two.dll", "three.dll", "KERNEL32.dll", "a.dll"});
    for (const char *dll : {"app/ONE.DLL", "first/one.dll", "first/two.dll", "second/two.dll",
                            "second/three.dll", "sys/three.dll"}) {
        WritePe(P(dll), {});
    }
    WritePe(P("sys/kernel32.dll"), {"nowhere.dll"}); // the system's own: listed, not followed
    WritePe(P("app/a.dll"), {"b.dll"});
    WritePe(P("app/b.dll"), {"A.DLL", "app.exe", "gone.dll"}); // back to a.dll and the program
    const ClosureResult c = Build("app/app.exe", {P("first"), P("second") + "/"});
    EXPECT_EQ(Find(c.modules, "one.dll").path, P("app/ONE.DLL")); // as spelt on disk
    EXPECT_EQ(Find(c.modules, "one.dll").where, FoundIn::Application);
    EXPECT_EQ(Find(c.modules, "two.dll").path, P("first/two.dll"));
    EXPECT_EQ(Find(c.modules, "three.dll").path, P("second/three.dll"));
    EXPECT_EQ(Find(c.modules, "KERNEL32.dll").where, FoundIn::System);
    EXPECT_FALSE(Find(c.modules, "KERNEL32.dll").followed);
    EXPECT_EQ(c.modules.size(), 7u); // each once
    ASSERT_EQ(c.named.size(), 1u);
    EXPECT_EQ(c.ChainOf(c.named[0]),
              (std::vector<std::string>{"app.exe", "a.dll", "b.dll", "gone.dll"}));
}

TEST_F(Closure, DelayLoadedMeansNothingLoadedAtStartNeedsIt)
{
    WritePe(P("app/app.exe"), {"start.dll"}, {"later.dll", "both.dll"});
    WritePe(P("app/start.dll"), {"both.dll", "gone-start.dll"});
    WritePe(P("app/later.dll"), {"under-later.dll", "gone-under.dll"});
    WritePe(P("app/both.dll"), {});
    WritePe(P("app/under-later.dll"), {});
    const ClosureResult c = Build("app/app.exe");
    EXPECT_FALSE(Find(c.modules, "both.dll").delayLoaded); // also imported by start.dll
    EXPECT_TRUE(Find(c.modules, "later.dll").delayLoaded);
    EXPECT_TRUE(Find(c.modules, "under-later.dll").delayLoaded); // loaded with later.dll
    EXPECT_FALSE(Find(c.named, "gone-start.dll").delayLoaded);
    EXPECT_TRUE(Find(c.named, "gone-under.dll").delayLoaded);
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Incomplete); // a missing delay-loaded DLL is missing
}

TEST_F(Closure, NamesThatAreNotLookedFor)
{
    // A name holding a path is never a way into another folder; an API-set contract is resolved
    // by Windows; a Windows DLL is assumed present only when there is no system folder to ask.
    const std::vector<std::string> names(
        {"../secret/x.dll", "..\\secret\\x.dll", "C:x.dll", "..", "sub/y.dll", "KERNEL32.dll",
         "libprivate.dll", "api-ms-win-core-synch-l1-2-0.dll", "EXT-MS-WIN-SHELL-L1-1-0.DLL"});
    WritePe(P("app/app.exe"), names);
    WritePe(P("secret/x.dll"), {});
    WritePe(P("app/sub/y.dll"), {});
    const ClosureResult c = Build("app/app.exe", {P("app")});
    EXPECT_EQ(c.modules.size(), 1u);
    for (const std::string &name : names) {
        const bool apiSet = name.starts_with("api-") || name.starts_with("EXT-");
        EXPECT_EQ(Find(c.named, name).state, apiSet ? NamedState::ApiSet : NamedState::Missing);
    }
    EXPECT_EQ(Find(c.named, "..").reason, "not a plain file name: never looked for");

#ifndef _WIN32 // Windows always has a system folder
    // No system folder from the machine: neither $QUORVANE_SYSTEM_DIR nor a Wine prefix.
    const test::ScopedEnv system("QUORVANE_SYSTEM_DIR", std::nullopt),
        wine("WINEPREFIX", std::nullopt), home("HOME", "/nonexistent/quorvane-test-home");
    const ClosureResult without = Build("app/app.exe", {}, false);
    EXPECT_EQ(Find(without.named, "KERNEL32.dll").state, NamedState::SystemAssumed);
    EXPECT_EQ(Find(without.named, "libprivate.dll").state, NamedState::Missing);
#endif
}

TEST_F(Closure, DamagedFilesAreDamagedNeverDependencyFree)
{
    WritePe(P("app/app.exe"), {"broken.dll", "fake.dll", "fine.dll", "exports.dll"});
    test::BuiltPe broken = WritePe(P("app/broken.dll"), {"fine.dll"}), exports = broken;
    broken.PutU32(broken.layout.importDirectoryOffset + 12, 0x00F00000); // a name nowhere
    broken.WriteTo(P("app/broken.dll"));
    // An export table whose address count runs past the file is named, its functions unchecked.
    exports.PutU32(exports.layout.exportDirectoryOffset + 20, 0x7FFFFFFF);
    exports.WriteTo(P("app/exports.dll"));
    dir.Write("app/fake.dll", "MZ not really");
    WritePe(P("other/fake.dll"), {});
    WritePe(P("app/fine.dll"), {});
    const ClosureResult c = Build("app/app.exe", {P("other")});
    EXPECT_EQ(Find(c.modules, "broken.dll").problem, "Error in attempt to find imported DLLs.");
    EXPECT_EQ(Find(c.modules, "fake.dll").path, P("other/fake.dll")); // the search goes on
    ASSERT_EQ(c.damaged.size(), 3u);
    EXPECT_EQ(c.damaged[0].path, P("app/broken.dll")); // in path order
    EXPECT_EQ(c.damaged[1].path, P("app/exports.dll"));
    EXPECT_EQ(c.damaged[2].status, "Error mapping file.");
    EXPECT_TRUE(c.missingFunctions.empty());
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Unreadable);
    EXPECT_EQ(Build("app/missing.exe").Outcome(), PackagerOutcome::Unreadable);
}

TEST_F(Report, OneListOfMissingNamesWithTheFilesThatNeedThem)
{
    WritePe(P("app/app.exe"), {"core.dll", "gone.dll", "KERNEL32.dll"}, {"plug.dll"});
    WritePe(P("app/core.dll"), {"GONE.DLL", "api-ms-win-core-synch-l1-2-0.dll"}, {"shared.dll"});
    // A plugin in a subfolder finds the application's DLLs in the application's folder.
    WritePe(P("app/plugins/plug.dll"), {"core.dll", "helper.dll", "later.dll", "Shared.dll"});
    WritePe(P("app/plugins/helper.dll"), {});
    WritePe(P("app/plugins/later.dll"), {}, {}, test::Bitness::Pe32); // wrong bitness
    WritePe(P("sys/kernel32.dll"), {});
    dir.Write("app/README.txt", "not a program");
    dir.Write("app/plugins/broken.dll", "MZ but nothing else");
    const FolderReportResult r = BuildFolderReport(P("app"), Order({}), "SHARED.dll", 2);
    ASSERT_EQ(std::tuple(r.ok, r.filesSeen, r.peFiles), std::tuple(true, 7u, 6u));
    std::vector<std::string> names;
    for (const auto &m : r.missing) {
        names.push_back(m.name + (m.delayLoaded ? " later" : ""));
    }
    // shared.dll: needed at start by the plugin, delay-loaded by core.dll.
    EXPECT_EQ(names,
              (std::vector<std::string>{"gone.dll", "later.dll", "plug.dll later", "shared.dll"}));
    ASSERT_EQ(r.missing[0].neededBy.size(), 2u);
    EXPECT_EQ(r.missing[0].neededBy[1].file, P("app/core.dll"));
    EXPECT_EQ(r.missing[1].rejected[0].reason,
              "found " + P("app/plugins/later.dll") + ", but it is 32-bit");
    EXPECT_EQ(r.apiSets, std::vector<std::string>{"api-ms-win-core-synch-l1-2-0.dll"});
    ASSERT_EQ(r.damaged.size(), 1u);
    EXPECT_EQ(r.damaged[0].path, P("app/plugins/broken.dll"));
    EXPECT_EQ(r.Outcome(), PackagerOutcome::Unreadable);
    // Who imports a name, in any case.
    ASSERT_EQ(r.who.size(), 2u);
    EXPECT_TRUE(r.who[0].delayLoaded);
    EXPECT_EQ(r.who[1].file, P("app/plugins/plug.dll"));
}

TEST_F(Report, ThreadsChangeNothingAndLinksAreNotFollowed)
{
    // Many files that import each other, some names missing, some files damaged.
    const auto name = [](std::string stem, int n) { return stem + std::to_string(n) + ".dll"; };
    for (int i = 0; i < 300; ++i) {
        WritePe(dir / "app" / (i % 3 ? "" : "sub") / name("m", i),
                {name("m", (i * 7) % 300), name("gone", i % 13)}, {name("later", i % 5)});
        if (i % 50 == 0) {
            dir.Write("app/" + name("bad", i), "MZ");
        }
    }
    // Links, back up the tree and to a program outside it, are neither read nor counted.
#ifndef _WIN32 // Wine makes no symbolic links
    fs::create_directory_symlink(P("app"), P("app/sub/loop"));
    WritePe(P("outside/out.exe"), {"outside-only.dll"});
    fs::create_symlink(P("outside/out.exe"), P("app/sub/out.exe"));
#endif
    const auto summary = [this](unsigned threads) {
        const FolderReportResult r = BuildFolderReport(P("app"), Order({}), std::nullopt, threads);
        std::vector<std::string> s = {std::to_string(r.peFiles), std::to_string(r.damaged.size())};
        for (const auto &m : r.missing) {
            s.push_back(m.name + " " + std::to_string(m.neededBy.size()));
        }
        return s;
    };
    const std::vector<std::string> one = summary(1);
    EXPECT_EQ(std::vector(one.begin(), one.begin() + 2), (std::vector<std::string>{"306", "6"}));
    EXPECT_EQ(summary(2), one);
    EXPECT_EQ(summary(16), one);
}

} // namespace
} // namespace quorvane
