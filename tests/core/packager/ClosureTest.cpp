// The dependency closure over built DLLs in temporary folders: the search order, cycles, delay
// loading, names that are not looked for, damaged files and the system's own DLLs.
#include "core/packager/DependencyClosure.h"
#include "core/packager/SearchOrder.h"
#include "support/PackagerTestSupport.h"
#ifndef _WIN32
#include "support/ScopedEnv.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::WritePe;

class Closure : public ::testing::Test {
protected:
    /// The closure of root with a system folder "sys" (never the machine's own), or with none.
    ClosureResult Build(const std::string &root, std::vector<std::string> search = {},
                        bool withSystemFolder = true)
    {
        fs::create_directories(dir / "sys");
        std::string problem;
        const auto order =
            SearchOrder::Make(search, withSystemFolder ? std::optional(P("sys")) : std::nullopt,
                              std::nullopt, problem);
        EXPECT_TRUE(order) << problem;
        FolderCache folders;
        PeFactsCache facts;
        return ClosureBuilder(*order, folders, facts).Build(P(root));
    }
    std::string P(const std::string &relative) const
    {
        return (dir / relative).make_preferred().string();
    }
    template <typename T> static const T &Find(const std::vector<T> &all, const std::string &name)
    {
        for (const T &m : all) {
            if (m.name == name) {
                return m;
            }
        }
        throw std::runtime_error("not in the closure: " + name);
    }
    test::TempDir dir;
};

TEST_F(Closure, FollowsTheSearchOrderAndVisitsEachDllOnce)
{
    WritePe(P("app/app.exe"), {"one.dll", "two.dll", "three.dll", "KERNEL32.dll", "a.dll"});
    WritePe(P("app/ONE.DLL"), {});
    WritePe(P("first/one.dll"), {});
    WritePe(P("first/two.dll"), {});
    WritePe(P("second/two.dll"), {});
    WritePe(P("second/three.dll"), {});
    WritePe(P("sys/three.dll"), {});
    WritePe(P("sys/kernel32.dll"), {"nowhere.dll"}); // the system's own: listed, not followed
    WritePe(P("app/a.dll"), {"b.dll"});
    WritePe(P("app/b.dll"), {"A.DLL", "app.exe", "gone.dll"}); // back to a.dll and the program
    const ClosureResult c = Build("app/app.exe", {P("first"), P("second") + "/"});
    ASSERT_TRUE(c.ok);
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
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Incomplete);
}

TEST_F(Closure, DelayLoadedMeansNothingLoadedAtStartNeedsIt)
{
    WritePe(P("app/app.exe"), {"start.dll"}, {"later.dll", "both.dll", "gone-later.dll"});
    WritePe(P("app/start.dll"), {"both.dll", "gone-start.dll"});
    WritePe(P("app/later.dll"), {"under-later.dll", "gone-under.dll"});
    WritePe(P("app/both.dll"), {});
    WritePe(P("app/under-later.dll"), {});
    const ClosureResult c = Build("app/app.exe");
    EXPECT_FALSE(Find(c.modules, "both.dll").delayLoaded); // also imported by start.dll
    EXPECT_TRUE(Find(c.modules, "later.dll").delayLoaded);
    EXPECT_TRUE(Find(c.modules, "under-later.dll").delayLoaded); // loaded with later.dll
    EXPECT_FALSE(Find(c.named, "gone-start.dll").delayLoaded);
    EXPECT_TRUE(Find(c.named, "gone-later.dll").delayLoaded);
    EXPECT_TRUE(Find(c.named, "gone-under.dll").delayLoaded);
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Incomplete); // a missing delay-loaded DLL is missing
}

TEST_F(Closure, NamesThatAreNotLookedFor)
{
    // A name holding a path is never a way into another folder; an API-set contract is resolved
    // by Windows; a Windows DLL is assumed present only when there is no system folder to ask.
    const std::vector<std::string> names = {"../secret/x.dll",
                                            "..\\secret\\x.dll",
                                            "C:x.dll",
                                            "..",
                                            "sub/y.dll",
                                            "KERNEL32.dll",
                                            "libprivate.dll",
                                            "api-ms-win-core-synch-l1-2-0.dll",
                                            "EXT-MS-WIN-SHELL-L1-1-0.DLL"};
    WritePe(P("app/app.exe"), names);
    WritePe(P("secret/x.dll"), {});
    WritePe(P("app/sub/y.dll"), {});
    const ClosureResult c = Build("app/app.exe", {P("app")});
    EXPECT_EQ(c.modules.size(), 1u);
    for (const std::string &name : names) {
        const bool apiSet = name.find("-MS-WIN-") != std::string::npos ||
                            name.find("-ms-win-") != std::string::npos;
        EXPECT_EQ(Find(c.named, name).state, apiSet ? NamedState::ApiSet : NamedState::Missing)
            << name;
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
    WritePe(P("app/app.exe"), {"broken.dll", "fake.dll", "fine.dll"});
    test::PeBuilder b;
    b.bitness = test::Bitness::Pe32Plus;
    b.isDll = true;
    b.imports = {"x.dll"};
    test::BuiltPe broken = b.Build();
    broken.PutU32(broken.layout.importDirectoryOffset + 12, 0x00F00000); // a name nowhere
    broken.WriteTo(P("app/broken.dll"));
    dir.Write("app/fake.dll", "MZ not really");
    WritePe(P("other/fake.dll"), {});
    WritePe(P("app/fine.dll"), {});
    const ClosureResult c = Build("app/app.exe", {P("other")});
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(Find(c.modules, "broken.dll").problem, "Error in attempt to find imported DLLs.");
    EXPECT_EQ(Find(c.modules, "fake.dll").path, P("other/fake.dll")); // the search goes on
    ASSERT_EQ(c.damaged.size(), 2u);
    EXPECT_EQ(c.damaged[0].path, P("app/broken.dll")); // in path order
    EXPECT_EQ(c.damaged[1].status, "Error mapping file.");
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Unreadable);
    EXPECT_EQ(Build("app/missing.exe").Outcome(), PackagerOutcome::Unreadable);
}

} // namespace
} // namespace quorvane
