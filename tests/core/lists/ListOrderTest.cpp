// The order of the sorted dependency and export lists.
#include "core/lists/ListOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane {
namespace {

using Items = std::vector<std::string>;

TEST(DependencyListLess, IgnoresLetterCaseOfWindows1252AndBreaksTiesByCodePoint)
{
    // Folded, "_" (0x5F) comes after "[" (0x5B) and before the letters; "Äb" and "äa" fold to
    // "äb" and "äa"; "Ÿ" folds to "ÿ" (U+00FF), before "Œ"/"œ" (U+0153). Export names may end in
    // any letter: "xÉ" folds to "xé", after "xè".
    Items names = {"zlib1.dll", "b.dll", "B.dll",  "A.dll",  "a.dll", "_x.dll",
                   "[.dll",     "a",     "Äb.dll", "äa.dll", "Ž.dll", "ÿ.dll",
                   "Ÿ.dll",     "œ.dll", "Œ.dll",  "xÉ",     "xè"};
    std::sort(names.begin(), names.end(), DependencyListLess);
    EXPECT_EQ(names, (Items{"[.dll", "_x.dll", "a", "A.dll", "a.dll", "B.dll", "b.dll", "xè", "xÉ",
                            "zlib1.dll", "äa.dll", "Äb.dll", "ÿ.dll", "Ÿ.dll", "Œ.dll", "œ.dll",
                            "Ž.dll"}));
    // Not UTF-8: still a strict order.
    EXPECT_NE(DependencyListLess("\xC3", "\xFF"), DependencyListLess("\xFF", "\xC3"));
    EXPECT_FALSE(DependencyListLess("\xFF", "\xFF"));
}

} // namespace
} // namespace quorvane
