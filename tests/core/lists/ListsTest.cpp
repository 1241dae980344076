// The rules behind the lists: a reader's list text made into items, the sorted order, and the
// command-line text (the argument vector joined again, and the raw line less the program name).
#include "core/lists/CommandLine.h"
#include "core/lists/ListFill.h"
#include "core/lists/ListOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane {
namespace {

using Items = std::vector<std::string>;

TEST(FillListFromText, SplitsSkipsBlankPiecesAndCleansTheRest)
{
    const std::pair<std::string, Items> rows[] = {
        {"", {}},
        {"b.dll\r\na.dll\r\nb.dll", {"b.dll", "a.dll", "b.dll"}}, // order and duplicates kept
        {"\r\na\r\n\r\n   \r\nb\r\n", {"a", "b"}},
        {"  x y  ", {"x y"}},
        {"a\r\r\nb\rc", {"a", "bc"}},     // a lone CR is removed
        {" \va b\v ", {"a b"}},           // vertical tabs too, before trimming
        {"\r  \r\nz", {"", "z"}},         // and what they leave may be empty
        {"\t\r\n\ta\t", {"\t", "\ta\t"}}, // tabs are not blank
        {"a\nb", {"a\nb"}},
    };
    for (const auto &[text, items] : rows) {
        EXPECT_EQ(FillListFromText(text), items) << testing::PrintToString(text);
    }
}

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

TEST(CommandLine, ArgumentsJoinedWithSingleSpacesAndTheRawLineLessTheProgramName)
{
    // The vectors end in a null pointer, as main's does.
    const std::pair<std::vector<const char *>, std::string> joined[] = {
        {{nullptr}, ""},
        {{"quorvane", nullptr}, ""},
        {{"quorvane", "/tmp/my", "file.dll", nullptr}, "/tmp/my file.dll"},
        {{"quorvane", "\"a b\"", " c ", nullptr}, "\"a b\"  c "}, // nothing trimmed or unquoted
        {{"quorvane", "", "x", nullptr}, " x"},
    };
    for (const auto &[argv, text] : joined) {
        EXPECT_EQ(JoinArguments(static_cast<int>(argv.size()) - 1, argv.data()), text);
    }
    const std::pair<std::wstring, std::wstring> raw[] = {
        {L"quorvane.exe  \t ", L""},
        {L"\"C:\\q.exe\"x.dll", L"x.dll"},
        {L"\"C:\\never closed x.dll", L""},
    };
    for (const auto &[line, text] : raw) {
        EXPECT_EQ(TextAfterProgramName(line), text);
    }
}

} // namespace
} // namespace quorvane
