// The dependency closure over built DLLs in temporary folders: the search order, cycles, delay
// loading, machine checks, damaged files, Wine prefixes, and names that hold paths.
#include "core/packager/DependencyClosure.h"
#include "core/packager/SearchOrder.h"
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::Bitness;
using test::WritePe;

class Closure : public ::testing::Test {
protected:
    ClosureResult Build(const std::string &root, std::vector<std::string> search = {},
                        std::optional<std::string> systemDir = std::nullopt,
                        std::optional<std::string> winePrefix = std::nullopt)
    {
        std::string problem;
        if (!systemDir && !winePrefix) {
            systemDir = (dir / "sys").string(); // never the machine's own
            fs::create_directories(*systemDir);
        }
        const auto order = SearchOrder::Make(search, systemDir, winePrefix, problem);
        EXPECT_TRUE(order) << problem;
        FolderCache folders;
        PeFactsCache facts;
        return ClosureBuilder(*order, folders, facts).Build(root);
    }
    std::string P(const std::string &relative) const
    {
        return (dir / relative).make_preferred().string();
    }

    static const ClosureModule *Module(const ClosureResult &c, const std::string &name)
    {
        const auto it = std::find_if(c.modules.begin(), c.modules.end(),
                                     [&](const ClosureModule &m) { return m.name == name; });
        return it == c.modules.end() ? nullptr : &*it;
    }
    static const NamedDependency *Named(const ClosureResult &c, const std::string &name)
    {
        const auto it = std::find_if(c.named.begin(), c.named.end(),
                                     [&](const NamedDependency &d) { return d.name == name; });
        return it == c.named.end() ? nullptr : &*it;
    }

    test::TempDir dir;
};

TEST_F(Closure, FollowsTheOrderAppFolderThenSearchFoldersThenSystem)
{
    WritePe(P("app/app.exe"), {"one.dll", "two.dll", "three.dll", "KERNEL32.dll"});
    WritePe(P("app/ONE.DLL"), {});
    WritePe(P("first/one.dll"), {});
    WritePe(P("first/two.dll"), {});
    WritePe(P("second/two.dll"), {});
    WritePe(P("second/three.dll"), {});
    WritePe(P("sys/three.dll"), {});
    WritePe(P("sys/kernel32.dll"), {});
    const ClosureResult c = Build(P("app/app.exe"), {P("first"), P("second") + "/"});
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(Module(c, "one.dll")->path, P("app/ONE.DLL")); // as spelt on disk
    EXPECT_EQ(Module(c, "one.dll")->where, FoundIn::Application);
    EXPECT_EQ(Module(c, "two.dll")->path, P("first/two.dll"));
    EXPECT_EQ(Module(c, "three.dll")->path, P("second/three.dll"));
    EXPECT_EQ(Module(c, "KERNEL32.dll")->path, P("sys/kernel32.dll"));
    EXPECT_EQ(Module(c, "KERNEL32.dll")->where, FoundIn::System);
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Complete);
}

TEST_F(Closure, VisitsEachDllOnceThroughCyclesAndShowsTheShortestChain)
{
    WritePe(P("app/app.exe"), {"a.dll", "c.dll"});
    WritePe(P("app/a.dll"), {"b.dll"});
    WritePe(P("app/b.dll"), {"A.DLL", "c.dll", "gone.dll"}); // back to a.dll: a cycle
    WritePe(P("app/c.dll"), {"b.dll", "app.exe"});           // and back to the program
    const ClosureResult c = Build(P("app/app.exe"));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.modules.size(), 4u); // app.exe, a.dll, c.dll, b.dll: each once
    const NamedDependency *gone = Named(c, "gone.dll");
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->state, NamedState::Missing);
    EXPECT_EQ(c.ChainOf(*gone),
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
    const ClosureResult c = Build(P("app/app.exe"));
    EXPECT_FALSE(Module(c, "start.dll")->delayLoaded);
    EXPECT_FALSE(Module(c, "both.dll")->delayLoaded); // also imported by start.dll
    EXPECT_TRUE(Module(c, "later.dll")->delayLoaded);
    EXPECT_TRUE(Module(c, "under-later.dll")->delayLoaded); // loaded with later.dll, not at start
    EXPECT_FALSE(Named(c, "gone-start.dll")->delayLoaded);
    EXPECT_TRUE(Named(c, "gone-later.dll")->delayLoaded);
    EXPECT_TRUE(Named(c, "gone-under.dll")->delayLoaded);
    EXPECT_EQ(c.ChainOf(*Named(c, "gone-under.dll")),
              (std::vector<std::string>{"app.exe", "later.dll", "gone-under.dll"}));
    EXPECT_EQ(c.Outcome(),
              PackagerOutcome::Incomplete); // a missing delay-loaded DLL is still missing
}

TEST_F(Closure, AFileOfAnotherMachineIsPassedOverAndNamed)
{
    WritePe(P("app/app.exe"), {"lib.dll", "only32.dll", "arm.dll"});
    WritePe(P("wrong/lib.dll"), {}, {}, Bitness::Pe32);
    WritePe(P("wrong/only32.dll"), {}, {}, Bitness::Pe32);
    WritePe(P("right/lib.dll"), {});
    test::PeBuilder arm;
    arm.bitness = Bitness::Pe32Plus;
    arm.machine = 0xAA64;
    arm.isDll = true;
    arm.Build().WriteTo(P("wrong/arm.dll"));
    const ClosureResult c = Build(P("app/app.exe"), {P("wrong"), P("right")});
    EXPECT_EQ(Module(c, "lib.dll")->path, P("right/lib.dll"));
    ASSERT_EQ(Named(c, "only32.dll")->rejected.size(), 1u);
    EXPECT_EQ(Named(c, "only32.dll")->rejected[0].reason,
              "found " + P("wrong/only32.dll") + ", but it is 32-bit");
    EXPECT_EQ(Named(c, "arm.dll")->rejected[0].reason,
              "found " + P("wrong/arm.dll") + ", but it is for ARM64");

    // And the other way round: a 32-bit program and a 64-bit DLL.
    WritePe(P("app32/app.exe"), {"lib.dll"}, {}, Bitness::Pe32);
    const ClosureResult c32 = Build(P("app32/app.exe"), {P("right")});
    EXPECT_EQ(Named(c32, "lib.dll")->rejected[0].reason,
              "found " + P("right/lib.dll") + ", but it is 64-bit");
}

TEST_F(Closure, ApiSetContractsAreNeverMissingNorLookedFor)
{
    WritePe(P("app/app.exe"), {"api-ms-win-core-synch-l1-2-0.dll", "EXT-MS-WIN-SHELL-L1-1-0.DLL"});
    const ClosureResult c = Build(P("app/app.exe"));
    EXPECT_EQ(Named(c, "api-ms-win-core-synch-l1-2-0.dll")->state, NamedState::ApiSet);
    EXPECT_EQ(Named(c, "EXT-MS-WIN-SHELL-L1-1-0.DLL")->state, NamedState::ApiSet);
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Complete);
}

TEST_F(Closure, NamesThatHoldPathsStayNames)
{
    WritePe(P("app/app.exe"),
            {"../secret/x.dll", "..\\secret\\x.dll", "C:x.dll", "..", "sub/y.dll"});
    WritePe(P("secret/x.dll"), {});
    WritePe(P("app/sub/y.dll"), {});
    const ClosureResult c = Build(P("app/app.exe"), {P("app")});
    EXPECT_EQ(c.modules.size(), 1u);
    for (const NamedDependency &d : c.named) {
        EXPECT_EQ(d.state, NamedState::Missing) << d.name;
        EXPECT_EQ(d.reason, "not a plain file name: never looked for") << d.name;
    }
    EXPECT_EQ(c.named.size(), 5u);
}

TEST_F(Closure, DamagedFilesAreDamagedNeverDependencyFree)
{
    WritePe(P("app/app.exe"), {"broken.dll", "fake.dll", "fine.dll"});
    test::BuiltPe broken = [] {
        test::PeBuilder b;
        b.bitness = Bitness::Pe32Plus;
        b.isDll = true;
        b.imports = {"x.dll"};
        return b.Build();
    }();
    broken.PutU32(broken.layout.importDirectoryOffset + 12, 0x00F00000); // a name nowhere
    broken.WriteTo(P("app/broken.dll"));
    dir.Write("app/fake.dll", "MZ not really");
    WritePe(P("other/fake.dll"), {});
    WritePe(P("app/fine.dll"), {});
    const ClosureResult c = Build(P("app/app.exe"), {P("other")});
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(Module(c, "broken.dll")->problem, "Error in attempt to find imported DLLs.");
    EXPECT_EQ(Module(c, "fake.dll")->path, P("other/fake.dll")); // the search goes on
    ASSERT_EQ(c.damaged.size(), 2u);
    EXPECT_EQ(c.damaged[0].path, P("app/broken.dll")); // in path order
    EXPECT_EQ(c.damaged[1].path, P("app/fake.dll"));
    EXPECT_EQ(c.damaged[1].status, "Error mapping file.");
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Unreadable);

    const ClosureResult unreadable = Build(P("app/missing.exe"));
    EXPECT_FALSE(unreadable.ok);
    EXPECT_EQ(unreadable.status, "Error mapping file.");
    EXPECT_EQ(unreadable.Outcome(), PackagerOutcome::Unreadable);
}

TEST_F(Closure, TheSystemFolderFollowsTheProgramsBitnessInAWinePrefix)
{
    test::MakeWinePrefix(P("wine64"), true);
    test::MakeWinePrefix(P("wine32"), false, {});
    WritePe(P("wine32/drive_c/windows/system32/kernel32.dll"), {}, {}, Bitness::Pe32);
    WritePe(P("app/app32.exe"), {"kernel32.dll"}, {}, Bitness::Pe32);
    WritePe(P("app/app64.exe"), {"KERNEL32.DLL"});

    const ClosureResult c32 = Build(P("app/app32.exe"), {}, std::nullopt, P("wine64"));
    EXPECT_EQ(test::Slashed(Module(c32, "kernel32.dll")->path),
              test::Slashed(P("wine64/drive_c/windows/syswow64/kernel32.dll")));
    const ClosureResult c64 = Build(P("app/app64.exe"), {}, std::nullopt, P("wine64") + "/");
    EXPECT_EQ(test::Slashed(Module(c64, "KERNEL32.DLL")->path),
              test::Slashed(P("wine64/drive_c/windows/system32/kernel32.dll")));
    // A 32-bit prefix has only system32, which then holds 32-bit DLLs.
    const ClosureResult old = Build(P("app/app32.exe"), {}, std::nullopt, P("wine32"));
    EXPECT_EQ(test::Slashed(Module(old, "kernel32.dll")->path),
              test::Slashed(P("wine32/drive_c/windows/system32/kernel32.dll")));

    std::string problem;
    EXPECT_FALSE(SearchOrder::Make({}, std::nullopt, P("app"), problem));
    EXPECT_NE(problem.find("no drive_c/windows/system32"), std::string::npos);
    EXPECT_FALSE(SearchOrder::Make({P("nowhere")}, std::nullopt, std::nullopt, problem));

    // Found as the window finds the system folder: $WINEPREFIX, unless a folder is named.
    QUORVANE_POSIX_ONLY_FROM_HERE(
        "the system folder is GetSystemDirectory's, never the environment's");
    {
        test::ScopedEnv system("QUORVANE_SYSTEM_DIR", std::nullopt);
        test::ScopedEnv wine("WINEPREFIX", P("wine64"));
        const auto order = SearchOrder::Make({}, std::nullopt, std::nullopt, problem);
        ASSERT_TRUE(order);
        EXPECT_EQ(order->SystemFolder(PeKind::Pe32), P("wine64/drive_c/windows/syswow64"));
        EXPECT_EQ(order->SystemFolder(PeKind::Pe32Plus), P("wine64/drive_c/windows/system32"));
    }
    {
        test::ScopedEnv system("QUORVANE_SYSTEM_DIR", P("sys"));
        test::ScopedEnv wine("WINEPREFIX", P("wine64"));
        const auto order = SearchOrder::Make({}, std::nullopt, std::nullopt, problem);
        ASSERT_TRUE(order);
        EXPECT_EQ(order->SystemFolder(PeKind::Pe32), P("sys"));
    }
}

TEST_F(Closure, SystemFilesAreListedNotFollowed)
{
    WritePe(P("app/app.exe"), {"user32.dll"});
    WritePe(P("sys/user32.dll"), {"win32u.dll", "nowhere.dll"});
    const ClosureResult c = Build(P("app/app.exe"));
    EXPECT_EQ(c.modules.size(), 2u);
    EXPECT_FALSE(Module(c, "user32.dll")->followed);
    EXPECT_TRUE(c.named.empty());
    EXPECT_EQ(c.Outcome(), PackagerOutcome::Complete);
}

TEST_F(Closure, WithoutASystemFolderWindowsComponentsAreAssumedNotMissing)
{
    QUORVANE_POSIX_ONLY_FROM_HERE("Windows always has a system folder");
    WritePe(P("app/app.exe"), {"KERNEL32.dll", "libprivate.dll"});
    const test::NoMachineSystemFolder noSystem;
    std::string problem;
    const auto order = SearchOrder::Make({}, std::nullopt, std::nullopt, problem);
    ASSERT_TRUE(order);
    ASSERT_FALSE(order->HasSystemFolder());
    FolderCache folders;
    PeFactsCache facts;
    const ClosureResult c = ClosureBuilder(*order, folders, facts).Build(P("app/app.exe"));
    EXPECT_EQ(Named(c, "KERNEL32.dll")->state, NamedState::SystemAssumed);
    EXPECT_EQ(Named(c, "libprivate.dll")->state, NamedState::Missing);
}

TEST_F(Closure, ALongChainAndAWideFanStayLinear)
{
    // 2,000 DLLs in a chain, each also importing every one of 50 shared DLLs: every file is read
    // once and every import edge is kept once.
    std::vector<std::string> shared;
    for (int i = 0; i < 50; ++i) {
        shared.push_back("shared" + std::to_string(i) + ".dll");
        WritePe(P("app/" + shared.back()), {"chain0.dll"});
    }
    WritePe(P("app/app.exe"), {"chain0.dll"});
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::string> imports = shared;
        imports.push_back("chain" + std::to_string(i + 1) + ".dll");
        WritePe(P("app/chain" + std::to_string(i) + ".dll"), imports);
    }
    const ClosureResult c = Build(P("app/app.exe"));
    EXPECT_EQ(c.modules.size(), 1u + 50u + 2000u);
    ASSERT_EQ(c.named.size(), 1u); // chain2000.dll
    EXPECT_EQ(c.ChainOf(c.named[0]).size(), 2002u);
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

TEST(FolderCacheEntry, AnswersWithTheNameAsSpeltOnDisk)
{
    test::TempDir dir;
    dir.Write("Lib.DLL", "x");
    dir.Write("LIB.dll", "y"); // two spellings: the first in code-point order
    dir.Write("target.dll", "z");
    QUORVANE_POSIX_ONLY_FROM_HERE(test::kNoLinks);
    std::filesystem::create_symlink(dir / "target.dll", dir / "Linked.Dll");
    std::filesystem::create_symlink(dir / "nowhere.dll", dir / "dangling.dll");
    std::filesystem::create_directory(dir / "folder.dll");
    FolderCache cache;
    const std::string prefix = dir.Path().string() + "/";
    EXPECT_EQ(cache.FindEntry(prefix, "lib.dll"), "LIB.dll");
    EXPECT_EQ(cache.FindEntry(prefix, "linked.dll"), "Linked.Dll");
    EXPECT_EQ(cache.FindEntry(prefix, "dangling.dll"), std::nullopt);
    EXPECT_EQ(cache.FindEntry(prefix, "folder.dll"), std::nullopt);
    EXPECT_EQ(cache.FindEntry(prefix, "../x/lib.dll"), std::nullopt);
    EXPECT_TRUE(cache.IsPresent(prefix, "LINKED.DLL"));
}

} // namespace
} // namespace quorvane
