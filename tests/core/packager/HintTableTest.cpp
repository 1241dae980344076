// The hint table: names fall into their categories by the first matching pattern, and a table
// with mistakes says where they are.
#include "core/packager/DllHints.h"
#include "core/packager/KnownDlls.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(HintTable, KnownNamesFallIntoTheirCategoriesInAnyCase)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"VCRUNTIME140.dll", "msvc-runtime"},
        {"api-ms-win-crt-runtime-l1-1-0.dll", "msvc-runtime"},
        {"msvcrt.dll", "system"},
        {"LIBWINPTHREAD-1.DLL", "mingw-runtime"},
        {"libstdc++-6.dll", "mingw-runtime"},
        {"XINPUT1_3.dll", "directx"},
        {"xinput1_4.dll", "system"},
        {"xinput1_10.dll", "application"},
        {"api-ms-win-core-synch-l1-2-0.dll", "api-set"},
        {"libfoo.dll", "application"},
        {"", "application"},
        {"kernel32.dll.bak", "application"},
    };
    for (const auto &[name, category] : cases) {
        EXPECT_EQ(HintForDependency(name).category, category) << name;
    }
    // Windows loads its KnownDLLs from the system folder, whatever a program carries.
    for (const std::string &name : ParseKnownDlls(BuiltInKnownDllsText())) {
        EXPECT_EQ(HintFor(name).category, kHintSystem) << name;
    }
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
    EXPECT_EQ(table.HintFor("plugin-a.dll").category, "application");
    EXPECT_EQ(table.HintFor("other.dll").text, "Nobody's");
    EXPECT_EQ(table.Problems(),
              (std::vector<std::string>{"line 6: pattern plugin*.dll is listed twice",
                                        "line 7: unknown category ghost (define it first)",
                                        "line 8: a category needs an ID (a-z, 0-9, '-') and a text",
                                        "line 9: category own is defined twice",
                                        "line 10: no pattern after own"}));
    EXPECT_EQ(BuiltInHints().Problems(), std::vector<std::string>{});
}

} // namespace
} // namespace quorvane
