// The rule that turns a reader's list text into list items, and the Imports Scan over real files.
#include "core/lists/ListFill.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using Items = std::vector<std::string>;

struct FillCase {
    const char *what;
    std::string text;
    Items items;
};

TEST(FillListFromText, SplitsSkipsBlankPiecesAndCleansTheRest)
{
    const FillCase cases[] = {
        {"empty text", "", {}},
        {"one name", "KERNEL32.dll", {"KERNEL32.dll"}},
        {"order and duplicates kept", "b.dll\r\na.dll\r\nb.dll", {"b.dll", "a.dll", "b.dll"}},
        {"empty pieces skipped", "\r\na\r\n\r\nb\r\n", {"a", "b"}},
        {"spaces-only piece skipped", "a\r\n   \r\nb", {"a", "b"}},
        {"spaces trimmed, inner kept", "  x y  ", {"x y"}},
        {"lone CR removed", "a\r\r\nb\rc", {"a", "bc"}},
        {"vertical tabs removed before trimming", " \va b\v ", {"a b"}},
        {"CR and spaces leave an empty item", "\r  \r\nz", {"", "z"}},
        {"a vertical tab alone leaves an empty item", "\v", {""}},
        {"tabs are not blank and stay", "\t\r\n\ta\t", {"\t", "\ta\t"}},
        {"line feed alone does not split", "a\nb", {"a\nb"}},
        {"form feed is not trimmed", "\fa", {"\fa"}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(FillListFromText(c.text), c.items) << c.what;
    }
}

TEST(ScanImports, FillsBothListsOrShowsEachReadersStatus)
{
    test::TempDir dir;
    test::PeBuilder both;
    both.isDll = true;
    both.imports = {"USER32.dll", "KERNEL32.dll"};
    both.exports = {"Alpha", "Beta"};
    const auto bothPath = both.Build().WriteTo(dir / "both.dll").string();

    auto result = ScanImports(bothPath);
    EXPECT_TRUE(result.importsOk && result.exportsOk);
    EXPECT_EQ(result.dependencies, (Items{"USER32.dll", "KERNEL32.dll"}));
    EXPECT_EQ(result.exports, (Items{"Alpha", "Beta"}));

    test::PeBuilder noImports = both;
    noImports.withImportTable = false;
    result = ScanImports(noImports.Build().WriteTo(dir / "noimports.dll").string());
    EXPECT_FALSE(result.importsOk);
    EXPECT_EQ(result.dependencies, Items{"No DLL dependencies found."});
    EXPECT_EQ(result.exports, (Items{"Alpha", "Beta"}))
        << "one reader's failure stops not the other";

    for (const std::string &path :
         {std::string(), dir.Write("text.txt", "not a PE file").string(), dir.Path().string()}) {
        result = ScanImports(path);
        EXPECT_EQ(result.dependencies, Items{"Error mapping file."}) << path;
        EXPECT_EQ(result.exports, Items{"Error mapping file."}) << path;
    }
    EXPECT_EQ(ScanImports(" " + bothPath).dependencies, Items{"Error mapping file."})
        << "the path is used untrimmed";
}

} // namespace
} // namespace quorvane
