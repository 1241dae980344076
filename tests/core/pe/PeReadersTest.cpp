// The readers on the shared table of malformed and hostile images, in memory and through pages of a
// few bytes, the function readers agreeing with the name readers; a hostile section table; a field
// cut by a short optional header.
#include "core/pe/PeImage.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PagedMemory.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::Bitness;
using test::Mismatch;

class Malformed : public ::testing::TestWithParam<std::tuple<std::size_t, Bitness>> {};

TEST_P(Malformed, ReadersAnswerAsExpectedInMemoryAndThroughPages)
{
    const test::MalformedCase &c = test::MalformedCases()[std::get<0>(GetParam())];
    const auto bytes = c.make(std::get<1>(GetParam()));
    const MemorySource memory(bytes);
    // Pages of 5 bytes, one kept, where files are read through pages of 64 KiB; the largest images
    // through pages of 4 KiB, which byte-sized pages would only make slow.
    const test::PagedMemory pages(bytes, bytes.size() < 200000 ? 5 : 4096, 1);
    for (const ByteSource *source : std::initializer_list<const ByteSource *>{&memory, &pages}) {
        EXPECT_EQ(Mismatch(c.imports, ReadImportNames(*source)), "");
        EXPECT_EQ(Mismatch(c.exports, ReadExportNames(*source)), "");
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
    EXPECT_EQ(Mismatch(c.exportTable.value_or(c.exports), table.Status(), table.Ok(),
                       c.exportTable ? entries : named),
              "");
    const ImportFunctions imports = ReadImportFunctions(memory);
    for (const ImportedDll &dll : imports.dlls) {
        dlls.push_back(dll.name);
    }
    const auto expected =
        c.importFunctionsStatus ? test::ExpectedRead{*c.importFunctionsStatus, {}} : c.imports;
    EXPECT_EQ(Mismatch(expected, imports.Status(), imports.Ok(), dlls), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Combine(::testing::Range<std::size_t>(0, test::MalformedCases().size()),
                       ::testing::Values(Bitness::Pe32, Bitness::Pe32Plus)),
    [](const auto &param) {
        return test::MalformedCases()[std::get<0>(param.param)].name +
               (std::get<1>(param.param) == Bitness::Pe32 ? "_Pe32" : "_Pe32Plus");
    });

// 65,535 sections over the same RVAs, each starting one byte after the last: the first in table
// order serves every RVA, and building the lookup must not go quadratic. The table moves to the
// end of the file, behind an optional header stretched to reach it.
TEST(HostileTables, SixtyFiveThousandOverlappingSectionsStayFast)
{
    test::BuiltPe pe = test::PeBuilder{.imports = {"A.dll"}}.Build();
    const std::uint64_t table = pe.bytes.size();
    pe.bytes.resize(table + 40ull * 0xFFFF);
    for (std::uint64_t i = 0; i < 0xFFFF; ++i) {
        pe.Put(table + 40 * i + 12, pe.layout.sectionRva + i);
        pe.PutU32(table + 40 * i + 16, 0x200);
        pe.Put(table + 40 * i + 20, pe.layout.sectionOffset + i);
    }
    pe.Put(pe.layout.ntOffset + 6, 0xFFFF, 2);
    pe.Put(pe.layout.ntOffset + 20, table - pe.layout.optionalOffset, 2);
    const auto start = std::chrono::steady_clock::now();
    const auto r = ReadImportNames(MemorySource(pe.bytes));
    EXPECT_LT(std::chrono::steady_clock::now() - start, test::kAtOnce);
    EXPECT_EQ(Mismatch({kStatusImportsOk, {"A.dll"}}, r), "");
}

// SizeOfOptionalHeader ends halfway into SizeOfHeaders: with no headers' bytes to map and no
// section, RVA 0 maps nowhere. Read from the bytes after the header, it would map to offset 0.
TEST(HostileTables, AFieldCutByTheOptionalHeadersEndReadsAsZero)
{
    test::BuiltPe pe = test::PeBuilder{}.Build();
    pe.Put(pe.layout.ntOffset + 6, 0, 2);
    pe.Put(pe.layout.ntOffset + 20, 62, 2);
    const MemorySource source(pe.bytes);
    const auto image = PeImage::Parse(source);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->RvaToOffset(0), std::nullopt);
}

} // namespace
} // namespace quorvane
