// Malformed and hostile images, read in memory: every case ends in its expected status and names,
// as PE32 and as PE32+, without a crash, a hang or a read outside the bytes. The same cases are
// read from files (NonRegularFilesTest) and by quorvane-cli (CliHostileTest).
#include "core/pe/FileBytes.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"
#include "support/MalformedPe.h"
#include "support/PeBuilder.h"
#include "support/Timing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <tuple>

namespace quorvane {
namespace {

using test::Bitness;
using test::BuiltPe;
using test::MalformedCase;
using test::PeBuilder;

// Names can be 100,000 bytes or 60,000 long: say where they differ instead of printing them all.
::testing::AssertionResult NamesMatch(const std::vector<std::string> &expected,
                                      const std::vector<std::string> &actual)
{
    if (expected.size() != actual.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " names where " << expected.size() << " were expected";
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i]) {
            return ::testing::AssertionFailure()
                   << "name " << i << " is \"" << actual[i].substr(0, 80) << "\", expected \""
                   << expected[i].substr(0, 80) << '"';
        }
    }
    return ::testing::AssertionSuccess();
}

void ExpectRead(const test::ExpectedRead &expected, const ReaderResult &actual)
{
    EXPECT_EQ(actual.Status(), expected.status);
    EXPECT_EQ(actual.Ok(),
              expected.status == kStatusImportsOk || expected.status == kStatusExportsOk);
    EXPECT_TRUE(NamesMatch(expected.names, actual.names));
}

class Malformed : public ::testing::TestWithParam<std::tuple<std::size_t, Bitness>> {
protected:
    const MalformedCase &Case() const { return test::MalformedCases()[std::get<0>(GetParam())]; }
    std::vector<std::uint8_t> Bytes() const { return Case().make(std::get<1>(GetParam())); }
};

TEST_P(Malformed, ReadersAnswerAsExpectedInMemory)
{
    const auto bytes = Bytes();
    const MemorySource source(bytes);
    ExpectRead(Case().imports, ReadImportNames(source));
    ExpectRead(Case().exports, ReadExportNames(source));
}

// A file is read through pages of 64 KiB; these pages of a few bytes make every field of these
// small images straddle pages, with a single page kept.
class TinyPages final : public PagedSource {
public:
    explicit TinyPages(const std::vector<std::uint8_t> &bytes)
        : PagedSource(bytes.size(), 5, 1), m_bytes(bytes)
    {
    }

protected:
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::size_t n = 0;
        for (; n < out.size() && offset + n < m_bytes.size(); ++n) {
            out[n] = m_bytes[offset + n];
        }
        return n;
    }

private:
    const std::vector<std::uint8_t> &m_bytes;
};

TEST_P(Malformed, ReadersAnswerTheSameThroughPages)
{
    const auto bytes = Bytes();
    if (bytes.size() > 200000) {
        GTEST_SKIP() << "byte-sized pages would only make this slow";
    }
    const TinyPages source(bytes);
    ExpectRead(Case().imports, ReadImportNames(source));
    ExpectRead(Case().exports, ReadExportNames(source));
}

// The export table reader's entries as the malformed-case table writes them.
ReaderResult Written(const ExportTable &table)
{
    ReaderResult r{table.table, table.outcome, {}};
    for (const ExportedFunction &f : table.functions) {
        r.names.push_back('#' + std::to_string(f.ordinal) + (f.name ? ' ' + *f.name : "") +
                          (f.forwarder ? " -> " + *f.forwarder : ""));
    }
    return r;
}

TEST_P(Malformed, FunctionReadersAgreeWithTheNameReaders)
{
    const auto bytes = Bytes();
    const MemorySource source(bytes);
    const ExportTable table = ReadExportTable(source);
    if (Case().exportTable) {
        ExpectRead(*Case().exportTable, Written(table));
    } else {
        std::vector<std::string> named;
        for (const ExportedFunction &f : table.functions) {
            if (f.name) {
                named.push_back(*f.name);
            }
        }
        EXPECT_EQ(table.Status(), Case().exports.status);
        EXPECT_TRUE(NamesMatch(Case().exports.names, named));
    }
    const ImportFunctions imports = ReadImportFunctions(source);
    EXPECT_EQ(imports.Status(), Case().importFunctionsStatus.value_or(Case().imports.status));
    if (!Case().importFunctionsStatus) {
        std::vector<std::string> dlls;
        for (const ImportedDll &dll : imports.dlls) {
            dlls.push_back(dll.name);
        }
        EXPECT_TRUE(NamesMatch(Case().imports.names, dlls));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Malformed,
    ::testing::Combine(::testing::Range<std::size_t>(0, test::MalformedCases().size()),
                       ::testing::Values(Bitness::Pe32, Bitness::Pe32Plus)),
    [](const auto &param) {
        return test::MalformedCases()[std::get<0>(param.param)].name +
               (std::get<1>(param.param) == Bitness::Pe32 ? "_Pe32" : "_Pe32Plus");
    });

TEST(MalformedSuite, CoversEnoughCasesWithUniqueNames)
{
    const auto &cases = test::MalformedCases();
    EXPECT_GE(cases.size(), 40u);
    std::set<std::string> names;
    for (const MalformedCase &c : cases) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
    }
}

TEST(HostileTables, SixtyThousandDescriptorsFinishQuickly)
{
    PeBuilder b;
    b.imports.assign(60000, "X.dll");
    const BuiltPe pe = b.Build();
    const auto start = std::chrono::steady_clock::now();
    const auto r = ReadImportNames(MemorySource(pe.bytes));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.names.size(), 60000u);
    // Milliseconds in a release build; the bound leaves room for a sanitizer build.
    EXPECT_LT(took, test::kAtOnce);
}

TEST(HostileTables, SixtyFiveThousandOverlappingSectionsStayFast)
{
    // 65,535 sections over the same RVAs, each starting one byte after the last: the first in
    // table order serves every RVA, and building the lookup must not go quadratic.
    PeBuilder b;
    b.imports = {"A.dll"};
    BuiltPe pe = b.Build();
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
    EXPECT_EQ(r.Status(), kStatusImportsOk);
    EXPECT_EQ(r.names, std::vector<std::string>{"A.dll"});
}

} // namespace
} // namespace quorvane
