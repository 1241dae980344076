// The folder report: every PE file under a folder, read in parallel, one list of missing names.
#include "core/packager/FolderReport.h"
#include "support/PackagerTestSupport.h"
#include "support/PosixOnly.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::Bitness;
using test::WritePe;

class Report : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir / "sys"); }
    FolderReportResult Run(const std::optional<std::string> &who = std::nullopt,
                           unsigned threads = 2, std::vector<std::string> search = {})
    {
        std::string problem;
        const auto order = SearchOrder::Make(search, (dir / "sys").string(), std::nullopt, problem);
        EXPECT_TRUE(order) << problem;
        return BuildFolderReport((dir / "app").string(), *order, who, threads);
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
    WritePe(P("app/core.dll"), {"GONE.DLL", "api-ms-win-core-synch-l1-2-0.dll"});
    // A plugin in a subfolder finds the application's DLLs in the application's folder.
    WritePe(P("app/plugins/plug.dll"), {"core.dll", "helper.dll", "later.dll"}, {"opt.dll"});
    WritePe(P("app/plugins/helper.dll"), {});
    WritePe(P("app/plugins/later.dll"), {}, {}, Bitness::Pe32); // wrong bitness
    WritePe(P("sys/kernel32.dll"), {});
    dir.Write("app/README.txt", "not a program");
    dir.Write("app/plugins/broken.dll", "MZ but nothing else");
    const FolderReportResult r = Run();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.filesSeen, 7u);
    EXPECT_EQ(r.peFiles, 6u);
    ASSERT_EQ(r.missing.size(), 4u);
    EXPECT_EQ(r.missing[0].name, "gone.dll");
    ASSERT_EQ(r.missing[0].neededBy.size(), 2u);
    EXPECT_EQ(r.missing[0].neededBy[0].file, P("app/app.exe"));
    EXPECT_EQ(r.missing[0].neededBy[1].file, P("app/core.dll"));
    EXPECT_FALSE(r.missing[0].delayLoaded);
    EXPECT_EQ(r.missing[1].name, "later.dll");
    ASSERT_EQ(r.missing[1].rejected.size(), 1u);
    EXPECT_EQ(r.missing[1].rejected[0].reason,
              "found " + P("app/plugins/later.dll") + ", but it is 32-bit");
    EXPECT_EQ(r.missing[2].name, "opt.dll");
    EXPECT_TRUE(r.missing[2].delayLoaded);
    EXPECT_EQ(r.missing[3].name, "plug.dll"); // the plugin is not in the application's folder
    EXPECT_EQ(r.apiSets, std::vector<std::string>{"api-ms-win-core-synch-l1-2-0.dll"});
    ASSERT_EQ(r.damaged.size(), 1u);
    EXPECT_EQ(r.damaged[0].path, P("app/plugins/broken.dll"));
    EXPECT_EQ(r.Outcome(), PackagerOutcome::Unreadable);
}

TEST_F(Report, WhoImportsANameInAnyCase)
{
    WritePe(P("app/a.exe"), {"Shared.dll"});
    WritePe(P("app/b.dll"), {"x.dll"}, {"SHARED.DLL"});
    WritePe(P("app/sub/c.dll"), {"shared.dll"});
    WritePe(P("app/d.dll"), {"other.dll"});
    const FolderReportResult r = Run(std::string("shared.dll"));
    ASSERT_EQ(r.who.size(), 3u);
    EXPECT_EQ(r.who[0].file, P("app/a.exe"));
    EXPECT_EQ(r.who[1].file, P("app/b.dll"));
    EXPECT_TRUE(r.who[1].delayLoaded);
    EXPECT_EQ(r.who[2].file, P("app/sub/c.dll"));
}

TEST_F(Report, ThreadsChangeNothingButTheTime)
{
    // Many files that import each other, some names missing, some files damaged.
    const auto name = [](const char *stem, int n) {
        std::string text = stem;
        text += std::to_string(n);
        text += ".dll";
        return text;
    };
    for (int i = 0; i < 300; ++i) {
        WritePe(dir / "app" / (i % 3 ? "" : "sub") / name("m", i),
                {name("m", (i * 7) % 300), name("gone", i % 13)}, {name("later", i % 5)});
        if (i % 50 == 0) {
            dir.Write("app/" + name("bad", i), "MZ");
        }
    }
    // A link back up the tree is not followed, so the walk ends.
    QUORVANE_POSIX_ONLY_FROM_HERE(test::kNoLinks);
    fs::create_directory_symlink(P("app"), P("app/sub/loop"));
    const FolderReportResult one = Run(std::nullopt, 1);
    const FolderReportResult two = Run(std::nullopt, 2);
    const FolderReportResult many = Run(std::nullopt, 16);
    EXPECT_EQ(one.peFiles, 306u);
    for (const FolderReportResult *r : {&two, &many}) {
        ASSERT_EQ(r->missing.size(), one.missing.size());
        for (std::size_t i = 0; i < one.missing.size(); ++i) {
            EXPECT_EQ(r->missing[i].name, one.missing[i].name);
            EXPECT_EQ(r->missing[i].neededBy.size(), one.missing[i].neededBy.size());
        }
        EXPECT_EQ(r->damaged.size(), one.damaged.size());
    }
    EXPECT_EQ(one.damaged.size(), 6u);
}

TEST_F(Report, AFolderThatIsNoFolderIsAnError)
{
    dir.Write("app", "a file");
    const FolderReportResult r = Run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.Outcome(), PackagerOutcome::Unreadable);
}

} // namespace
} // namespace quorvane
