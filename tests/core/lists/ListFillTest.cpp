// The rule that turns a reader's list text into list items, and the Imports Scan of a real file.
#include "core/lists/ListFill.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Items = std::vector<std::string>;

TEST(FillListFromText, SplitsSkipsBlankPiecesAndCleansTheRest)
{
    const std::pair<std::string, Items> rows[] = {
        {"", {}},
        {"b.dll\r\na.dll\r\nb.dll", {"b.dll", "a.dll", "b.dll"}}, // order and duplicates kept
        {"\r\na\r\n\r\nb\r\n", {"a", "b"}},
        {"a\r\n   \r\nb", {"a", "b"}},
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

TEST(ScanImports, FillsBothListsOrShowsEachReadersStatus)
{
    test::TempDir dir;
    test::PeBuilder pe;
    pe.isDll = true;
    pe.imports = {"USER32.dll", "KERNEL32.dll"};
    pe.exports = {"Alpha", "Beta"};
    ImportsScanResult result = ScanImports(pe.Build().WriteTo(dir / "both.dll").string());
    EXPECT_EQ(result.dependencies, (Items{"USER32.dll", "KERNEL32.dll"}));
    EXPECT_EQ(result.exports, (Items{"Alpha", "Beta"}));
    pe.withImportTable = false; // one reader's failure does not stop the other
    result = ScanImports(pe.Build().WriteTo(dir / "noimports.dll").string());
    EXPECT_EQ(result.dependencies, Items{"No DLL dependencies found."});
    EXPECT_EQ(result.exports, (Items{"Alpha", "Beta"}));
    result = ScanImports(dir.Path().string());
    EXPECT_EQ(result.dependencies, Items{"Error mapping file."});
    EXPECT_EQ(result.exports, Items{"Error mapping file."});
}

} // namespace
} // namespace quorvane
