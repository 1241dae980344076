// The import and export readers on images the PE builder makes: every status text, the list
// format, and the choices for PE32+, empty tables and code-page conversion.
#include "core/pe/ByteView.h"
#include "core/pe/modPETables.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::Bitness;
using test::BuiltPe;
using test::PeBuilder;

ReaderResult Imports(const BuiltPe &pe)
{
    return ReadImportNames(MemorySource(pe.bytes));
}

ReaderResult Exports(const BuiltPe &pe)
{
    return ReadExportNames(MemorySource(pe.bytes));
}

class BothBitnesses : public ::testing::TestWithParam<Bitness> {
protected:
    PeBuilder Builder() const
    {
        PeBuilder b;
        b.bitness = GetParam();
        return b;
    }
};

INSTANTIATE_TEST_SUITE_P(Pe, BothBitnesses, ::testing::Values(Bitness::Pe32, Bitness::Pe32Plus),
                         [](const auto &param) {
                             return param.param == Bitness::Pe32 ? "Pe32" : "Pe32Plus";
                         });

TEST_P(BothBitnesses, ImportNamesInTableOrderJoinedByCrLfWithCaseKept)
{
    PeBuilder b = Builder();
    b.imports = {"KERNEL32.dll", "USER32.dll"};
    test::TempDir dir;
    const auto path = b.Build().WriteTo(dir / "two.exe").string();

    std::string list = "stale", status;
    EXPECT_TRUE(GetImportList(path, list, status));
    EXPECT_EQ(list, "KERNEL32.dll\r\nUSER32.dll");
    EXPECT_EQ(status, "OK.");
}

TEST_P(BothBitnesses, ExportNamesInTableOrder)
{
    PeBuilder b = Builder();
    b.exports = {"Alpha", "Beta", "Gamma"};
    test::TempDir dir;
    const auto path = b.Build().WriteTo(dir / "abc.dll").string();

    std::string list, status;
    EXPECT_TRUE(GetExportList(path, list, status));
    EXPECT_EQ(list, "Alpha\r\nBeta\r\nGamma");
    EXPECT_EQ(status, "OK");

    b.exports = {"Only"};
    b.Build().WriteTo(path);
    EXPECT_TRUE(GetExportList(path, list, status));
    EXPECT_EQ(list, "Only");
}

TEST_P(BothBitnesses, DuplicateImportsStay)
{
    PeBuilder b = Builder();
    b.imports = {"A.dll", "B.dll", "A.dll"};
    const auto r = Imports(b.Build());
    EXPECT_EQ(r.names, (std::vector<std::string>{"A.dll", "B.dll", "A.dll"}));
}

TEST_P(BothBitnesses, MissingTablesGiveTheirOwnStatus)
{
    PeBuilder b = Builder();
    b.imports = {"KERNEL32.dll"};
    const auto exe = b.Build();
    EXPECT_EQ(Exports(exe).Status(), kStatusNoExports);
    EXPECT_FALSE(Exports(exe).Ok());
    EXPECT_TRUE(Imports(exe).Ok());

    b.imports.clear();
    b.exports = {"F"};
    const auto r = Imports(b.Build());
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Status(), kStatusNoImports);
    EXPECT_TRUE(r.names.empty());
}

TEST_P(BothBitnesses, ZeroNameRvaEndsTheWalkEvenWithEntriesAfterIt)
{
    PeBuilder b = Builder();
    b.imports = {"FIRST.dll", "SECOND.dll", "THIRD.dll"};
    BuiltPe pe = b.Build();
    pe.PutU32(pe.layout.importDirectoryOffset + 20 + 12, 0);
    EXPECT_EQ(Imports(pe).names, std::vector<std::string>{"FIRST.dll"});

    // Only the Name RVA of the terminating entry has to be zero.
    b.imports = {"FIRST.dll"};
    pe = b.Build();
    for (std::uint64_t field : {0u, 4u, 8u, 16u}) {
        pe.PutU32(pe.layout.importDirectoryOffset + 20 + field, 0xDEADBEEF);
    }
    EXPECT_EQ(Imports(pe).names, std::vector<std::string>{"FIRST.dll"});

    // A first entry that is already the end: a table with no names, read as an empty list.
    pe.PutU32(pe.layout.importDirectoryOffset + 12, 0);
    const auto empty = Imports(pe);
    EXPECT_TRUE(empty.Ok());
    EXPECT_EQ(empty.Status(), kStatusImportsOk);
    EXPECT_TRUE(empty.names.empty());
}

TEST_P(BothBitnesses, NameRvaInNoSectionIsAWalkFailure)
{
    PeBuilder b = Builder();
    b.imports = {"A.dll", "B.dll"};
    b.exports = {"Alpha", "Beta"};
    BuiltPe pe = b.Build();
    pe.PutU32(pe.layout.importDirectoryOffset + 20 + 12, 0x7FFF0000);
    pe.PutU32(pe.layout.exportNamePointersOffset + 4, 0x7FFF0000);
    const auto imports = Imports(pe);
    EXPECT_FALSE(imports.Ok());
    EXPECT_EQ(imports.Status(), kStatusImportWalkFailed);
    EXPECT_TRUE(imports.names.empty());
    const auto exports = Exports(pe);
    EXPECT_FALSE(exports.Ok());
    EXPECT_EQ(exports.Status(), kStatusExportWalkFailed);
    EXPECT_TRUE(exports.names.empty());
}

TEST_P(BothBitnesses, ExportNameCountZeroIsAnEmptyListAndNegativeIsCorrupt)
{
    PeBuilder b = Builder();
    b.exports = {"Alpha"};
    BuiltPe pe = b.Build();
    pe.PutU32(pe.layout.exportDirectoryOffset + 24, 0);
    auto r = Exports(pe);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Status(), kStatusExportsOk);
    EXPECT_TRUE(r.names.empty());

    pe.PutU32(pe.layout.exportDirectoryOffset + 24, 0x80000000);
    r = Exports(pe);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Status(), kStatusExportWalkFailed);
}

TEST_P(BothBitnesses, HighBytesAreConvertedFromWindows1252)
{
    PeBuilder b = Builder();
    b.imports = {"\x80\xE9\x9F.dll"};
    b.exports = {"Caf\xE9"};
    const BuiltPe pe = b.Build();
    EXPECT_EQ(Imports(pe).names, std::vector<std::string>{"\u20AC\u00E9\u0178.dll"});
    EXPECT_EQ(Exports(pe).names, std::vector<std::string>{"Caf\u00E9"});
}

TEST_P(BothBitnesses, ExportEntryIsReadAtTheHeadersOwnPosition)
{
    // PE32 keeps the export entry at offset 120 of the NT headers, PE32+ at 136; reading the other
    // kind's position would find the import entry or nothing.
    PeBuilder b = Builder();
    b.imports = {"KERNEL32.dll"};
    b.exports = {"Exported"};
    const BuiltPe pe = b.Build();
    const std::uint64_t expected = GetParam() == Bitness::Pe32 ? 120 : 136;
    EXPECT_EQ(pe.layout.dataDirectoriesOffset - pe.layout.ntOffset, expected);
    EXPECT_EQ(Exports(pe).names, std::vector<std::string>{"Exported"});
}

TEST(ReaderPaths, PathsThatAreNotPeFilesFailToMap)
{
    test::TempDir dir;
    const auto text = dir.Write("notes.dll", "This is not a program.\r\n").string();
    const auto empty = dir.Write("empty.exe", "").string();
    for (const std::string &path :
         {std::string(), (dir / "missing.dll").string(), text, empty, dir.Path().string()}) {
        std::string list = "untouched", status;
        EXPECT_FALSE(GetImportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_EQ(list, "untouched") << "the list is only set on success";
        EXPECT_FALSE(GetExportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
    }
}

TEST(StringFromAnsiPointer, ReadsUpToTheZeroAndNotPastTheEnd)
{
    const std::vector<std::uint8_t> bytes = {'A', 'b', 0, 'c', 0, 'd', 'e'};
    const MemorySource source(bytes);
    const ByteView view(source);
    EXPECT_EQ(StringFromAnsiPointer(view, 0), "Ab");
    EXPECT_EQ(StringFromAnsiPointer(view, 2), "");
    EXPECT_EQ(StringFromAnsiPointer(view, 3), "c");
    EXPECT_EQ(StringFromAnsiPointer(view, 5), std::nullopt) << "no zero before the end";
    EXPECT_EQ(StringFromAnsiPointer(view, 7), std::nullopt);
    EXPECT_EQ(StringFromAnsiPointer(view, UINT64_MAX), std::nullopt);
}

} // namespace
} // namespace quorvane
