// The readers on the shared table of malformed and hostile images, in memory and through pages of a
// few bytes, the function readers agreeing with the name readers; a hostile section table; a field
// cut by a short optional header; and the list text the window fills from.
#include "core/pe/PeImage.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PagedMemory.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quorvane {
namespace {

using test::Bitness;

// Names can be 100,000 bytes or 60,000 long: say where they differ instead of printing them all.
::testing::AssertionResult Read(const test::ExpectedRead &expected, std::string_view status,
                                bool ok, const std::vector<std::string> &names)
{
    if (status != expected.status ||
        ok != (expected.status == kStatusImportsOk || expected.status == kStatusExportsOk)) {
        return ::testing::AssertionFailure() << "status " << status;
    }
    if (names.size() != expected.names.size()) {
        return ::testing::AssertionFailure() << names.size() << " names";
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != expected.names[i]) {
            return ::testing::AssertionFailure()
                   << "name " << i << " is " << names[i].substr(0, 80);
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Read(const test::ExpectedRead &expected, const ReaderResult &r)
{
    return Read(expected, r.Status(), r.Ok(), r.names);
}

class Malformed : public ::testing::TestWithParam<std::tuple<std::size_t, Bitness>> {};

TEST_P(Malformed, ReadersAnswerAsExpectedInMemoryAndThroughPages)
{
    const test::MalformedCase &c = test::MalformedCases()[std::get<0>(GetParam())];
    const auto bytes = c.make(std::get<1>(GetParam()));
    const MemorySource memory(bytes);
    EXPECT_TRUE(Read(c.imports, ReadImportNames(memory)));
    EXPECT_TRUE(Read(c.exports, ReadExportNames(memory)));
    if (bytes.size() < 200000) { // byte-sized pages would only make the largest slow
        // Pages of 5 bytes, one kept, where files are read through pages of 64 KiB.
        const test::PagedMemory pages(bytes, 5, 1);
        EXPECT_TRUE(Read(c.imports, ReadImportNames(pages))) << "through pages";
        EXPECT_TRUE(Read(c.exports, ReadExportNames(pages))) << "through pages";
    }

    // The export table reader writes each entry "#ORDINAL NAME -> FORWARDER"; without a row of its
    // own it gives the name reader's status and names. The import function reader gives the DLLs.
    const ExportTable table = ReadExportTable(memory);
    std::vector<std::string> entries, named, dlls;
    for (const ExportedFunction &f : table.functions) {
        entries.push_back('#' + std::to_string(f.ordinal) + (f.name ? ' ' + *f.name : "") +
                          (f.forwarder ? " -> " + *f.forwarder : ""));
        if (f.name) {
            named.push_back(*f.name);
        }
    }
    EXPECT_TRUE(c.exportTable ? Read(*c.exportTable, table.Status(), table.Ok(), entries)
                              : Read(c.exports, table.Status(), table.Ok(), named));
    const ImportFunctions imports = ReadImportFunctions(memory);
    for (const ImportedDll &dll : imports.dlls) {
        dlls.push_back(dll.name);
    }
    EXPECT_TRUE(c.importFunctionsStatus
                    ? Read({*c.importFunctionsStatus, {}}, imports.Status(), imports.Ok(), {})
                    : Read(c.imports, imports.Status(), imports.Ok(), dlls));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Combine(::testing::Range<std::size_t>(0, test::MalformedCases().size()),
                       ::testing::Values(Bitness::Pe32, Bitness::Pe32Plus)),
    [](const auto &param) {
        return test::MalformedCases()[std::get<0>(param.param)].name +
               (std::get<1>(param.param) == Bitness::Pe32 ? "_Pe32" : "_Pe32Plus");
    });

TEST(HostileTables, SixtyFiveThousandOverlappingSectionsStayFast)
{
    // 65,535 sections over the same RVAs, each starting one byte after the last: the first in
    // table order serves every RVA, and building the lookup must not go quadratic.
    test::PeBuilder b;
    b.imports = {"A.dll"};
    test::BuiltPe pe = b.Build();
    const std::uint64_t table = pe.bytes.size();
    pe.bytes.resize(table + 40ull * 0xFFFF);
    for (std::uint64_t i = 0; i < 0xFFFF; ++i) {
        const std::uint64_t header = table + 40 * i;
        pe.PutU32(header + 12, static_cast<std::uint32_t>(pe.layout.sectionRva + i));
        pe.PutU32(header + 16, 0x200);
        pe.PutU32(header + 20, static_cast<std::uint32_t>(pe.layout.sectionOffset + i));
    }
    // The table moves to the end of the file, behind an optional header stretched to reach it.
    pe.PutU16(pe.layout.ntOffset + 6, 0xFFFF);
    pe.PutU16(pe.layout.ntOffset + 20,
              static_cast<std::uint16_t>(table - pe.layout.optionalOffset));
    const auto start = std::chrono::steady_clock::now();
    const auto r = ReadImportNames(MemorySource(pe.bytes));
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce);
    EXPECT_TRUE(Read({kStatusImportsOk, {"A.dll"}}, r));
}

TEST(HostileTables, AFieldCutByTheOptionalHeadersEndReadsAsZero)
{
    // SizeOfOptionalHeader ends halfway into SizeOfHeaders: with no headers' bytes to map and no
    // section, RVA 0 maps nowhere. Read from the bytes after the header, it would map to offset 0.
    test::BuiltPe pe = test::PeBuilder{}.Build();
    pe.PutU16(pe.layout.ntOffset + 6, 0);
    pe.PutU16(pe.layout.ntOffset + 20, 62);
    const MemorySource source(pe.bytes);
    const auto image = PeImage::Parse(source);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->RvaToOffset(0), std::nullopt);
}

TEST(ReaderLists, NamesInTableOrderJoinedByCrLfAndTheListSetOnlyOnSuccess)
{
    test::TempDir dir;
    test::PeBuilder b;
    b.imports = {"KERNEL32.dll", "USER32.dll", "KERNEL32.dll"};
    b.exports = {"Alpha", "Beta"};
    const auto path = b.Build().WriteTo(dir / "two.exe").string();
    std::string list, status;
    EXPECT_TRUE(GetImportList(path, list, status));
    EXPECT_EQ(list, "KERNEL32.dll\r\nUSER32.dll\r\nKERNEL32.dll");
    EXPECT_EQ(status, "OK.");
    EXPECT_TRUE(GetExportList(path, list, status));
    EXPECT_EQ(list, "Alpha\r\nBeta");
    EXPECT_EQ(status, "OK");
    EXPECT_FALSE(GetImportList(dir.Write("notes.dll", "Not a program.").string(), list, status));
    EXPECT_EQ(status, "Error mapping file.");
    EXPECT_EQ(list, "Alpha\r\nBeta");
}

} // namespace
} // namespace quorvane
