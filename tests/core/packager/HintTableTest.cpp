// The hint table: the built-in file is whole and sound, lookups take the first matching line, and
// a table with mistakes says where they are.
#include "core/packager/DllHints.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

TEST(HintTable, TheBuiltInTableIsTheDataFileAndHasNoMistakes)
{
    std::ifstream file(QUORVANE_DLL_HINTS_FILE);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(BuiltInHintText(), text.str()) << "rebuild: the program holds an older table";
    EXPECT_EQ(BuiltInHints().Problems(), std::vector<std::string>{});
    std::vector<std::string> ids;
    for (const DllHint &c : BuiltInHints().Categories()) {
        ids.push_back(c.category);
        EXPECT_FALSE(c.text.empty()) << c.category;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"system", "msvc-runtime", "mingw-runtime", "directx",
                                             "application"}));
}

TEST(HintTable, KnownNamesFallIntoTheirCategoriesInAnyCase)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"VCRUNTIME140.dll", "msvc-runtime"},
        {"vcruntime140_1.dll", "msvc-runtime"},
        {"MSVCP140.dll", "msvc-runtime"},
        {"ucrtbase.dll", "msvc-runtime"},
        {"api-ms-win-crt-runtime-l1-1-0.dll", "msvc-runtime"},
        {"msvcr120.dll", "msvc-runtime"},
        {"msvcrt.dll", "system"},
        {"libgcc_s_seh-1.dll", "mingw-runtime"},
        {"libgcc_s_dw2-1.dll", "mingw-runtime"},
        {"libstdc++-6.dll", "mingw-runtime"},
        {"LIBWINPTHREAD-1.DLL", "mingw-runtime"},
        {"d3dx9_43.dll", "directx"},
        {"XINPUT1_3.dll", "directx"},
        {"xinput1_4.dll", "system"},
        {"d3dcompiler_43.dll", "directx"},
        {"d3dcompiler_47.dll", "system"},
        {"KERNEL32.dll", "system"},
        {"ws2_32.dll", "system"},
        {"winspool.drv", "system"},
        {"libfoo.dll", "application"},
        {"", "application"},
        {"kernel32.dll.bak", "application"},
    };
    for (const auto &[name, category] : cases) {
        EXPECT_EQ(HintFor(name).category, category) << name;
    }
    EXPECT_NE(HintFor("libstdc++-6.dll").text.find("MinGW-w64"), std::string::npos);
}

TEST(HintTable, ApiSetContractsAreRecognisedByTheirPrefix)
{
    EXPECT_TRUE(IsApiSetName("api-ms-win-core-synch-l1-2-0.dll"));
    EXPECT_TRUE(IsApiSetName("API-MS-WIN-CRT-STDIO-L1-1-0.DLL"));
    EXPECT_TRUE(IsApiSetName("ext-ms-win-ntuser-window-l1-1-0.dll"));
    EXPECT_FALSE(IsApiSetName("api-ms.dll"));
    EXPECT_FALSE(IsApiSetName("myapi-ms-win-x.dll"));
    EXPECT_EQ(HintForDependency("api-ms-win-core-synch-l1-2-0.dll").category, "api-set");
    EXPECT_EQ(HintForDependency("api-ms-win-crt-stdio-l1-1-0.dll").category, "msvc-runtime");
    EXPECT_EQ(HintForDependency("libfoo.dll").category, "application");
}

TEST(HintTable, GlobsMatchTheWholeName)
{
    EXPECT_TRUE(MatchesIgnoringCase("lib*-?.dll", "LIBSTDC++-6.DLL"));
    EXPECT_TRUE(MatchesIgnoringCase("*", ""));
    EXPECT_TRUE(MatchesIgnoringCase("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(MatchesIgnoringCase("lib*-?.dll", "libstdc++-66.dll"));
    EXPECT_FALSE(MatchesIgnoringCase("abc", "abcd"));
    EXPECT_FALSE(MatchesIgnoringCase("a?c", "ac"));
}

TEST(HintTable, TheFirstMatchingLineWinsAndMistakesAreNamed)
{
    const HintTable table = HintTable::Parse("# comment\n"
                                             "category own Ours\n"
                                             "category application Nobody's  # trailing comment\n"
                                             "own special.dll\n"
                                             "application plugin*.dll\n"
                                             "own plugin*.dll\n"
                                             "ghost ghost.dll\n"
                                             "category Bad-Id text\n"
                                             "category own again\n"
                                             "own\n");
    EXPECT_EQ(table.HintFor("SPECIAL.DLL").category, "own");
    EXPECT_EQ(table.HintFor("spectre.dll").category, "application");
    EXPECT_EQ(table.HintFor("spectre.dll").text, "Nobody's");
    EXPECT_EQ(table.HintFor("other.dll").category, "application");
    EXPECT_EQ(table.Problems(),
              (std::vector<std::string>{"line 6: pattern plugin*.dll is listed twice",
                                        "line 7: unknown category ghost (define it first)",
                                        "line 8: a category needs an ID (a-z, 0-9, '-') and a text",
                                        "line 9: category own is defined twice",
                                        "line 10: no pattern after own"}));
}

} // namespace
} // namespace quorvane
