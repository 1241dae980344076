// The order of the sorted dependency list, which quorvane-cli check prints in.
#include "core/lists/ListOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using Items = std::vector<std::string>;

TEST(DependencyListLess, IgnoresLetterCaseAndBreaksTiesByCodePoint)
{
    Items names = {"zlib1.dll", "b.dll", "USER32.dll", "a.dll",
                   "B.dll",     "A.dll", "_x.dll",     "[.dll"};
    std::sort(names.begin(), names.end(), DependencyListLess);
    // Folded, "_" (0x5F) comes after "[" (0x5B) and before the letters.
    EXPECT_EQ(names, (Items{"[.dll", "_x.dll", "A.dll", "a.dll", "B.dll", "b.dll", "USER32.dll",
                            "zlib1.dll"}));
    EXPECT_FALSE(DependencyListLess("a", "a"));
    EXPECT_TRUE(DependencyListLess("a", "ab"));
    EXPECT_FALSE(DependencyListLess("ab", "a"));
}

TEST(DependencyListLess, FoldsTheLettersOfWindows1252LikeUnicode)
{
    // "Äb" and "äa" fold to "äb" and "äa"; byte order alone would put "Äb" first. "Ÿ" folds to
    // "ÿ" (U+00FF), which sorts before "Œ"/"œ" (U+0153); a tie puts the lower code point first.
    Items names = {"Äb.dll", "äa.dll", "Ž.dll", "ÿ.dll", "Ÿ.dll", "œ.dll", "Œ.dll", "z.dll"};
    std::sort(names.begin(), names.end(), DependencyListLess);
    EXPECT_EQ(names,
              (Items{"z.dll", "äa.dll", "Äb.dll", "ÿ.dll", "Ÿ.dll", "Œ.dll", "œ.dll", "Ž.dll"}));
    // Not UTF-8: still a strict order.
    EXPECT_TRUE(DependencyListLess("\xC3", "\xFF") != DependencyListLess("\xFF", "\xC3"));
    EXPECT_FALSE(DependencyListLess("\xFF", "\xFF"));
}

} // namespace
} // namespace quorvane
