// The folder report: every PE file under a folder, read in parallel, one list of missing names.
#include "core/packager/FolderReport.h"
#include "support/PackagerTestSupport.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::WritePe;

class Report : public ::testing::Test {
protected:
    FolderReportResult Run(const std::optional<std::string> &who = std::nullopt,
                           unsigned threads = 2)
    {
        fs::create_directories(dir / "sys");
        std::string problem;
        const auto order = SearchOrder::Make({}, P("sys"), std::nullopt, problem);
        return BuildFolderReport(P("app"), *order, who, threads);
    }
    std::string P(const std::string &relative) const
    {
        return (dir / relative).make_preferred().string();
    }
    test::TempDir dir;
};

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
    const FolderReportResult r = Run(std::string("SHARED.dll"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.filesSeen, 7u);
    EXPECT_EQ(r.peFiles, 6u);
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
    const auto name = [](const char *stem, int n) {
        return std::string(stem) + std::to_string(n) + ".dll";
    };
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
    const FolderReportResult one = Run(std::nullopt, 1);
    EXPECT_EQ(one.peFiles, 306u);
    EXPECT_EQ(one.damaged.size(), 6u);
    for (const unsigned threads : {2u, 16u}) {
        const FolderReportResult r = Run(std::nullopt, threads);
        ASSERT_EQ(r.missing.size(), one.missing.size());
        for (std::size_t i = 0; i < one.missing.size(); ++i) {
            EXPECT_EQ(r.missing[i].name, one.missing[i].name);
            EXPECT_EQ(r.missing[i].neededBy.size(), one.missing[i].neededBy.size());
        }
        EXPECT_EQ(r.damaged.size(), one.damaged.size());
    }
}

} // namespace
} // namespace quorvane
