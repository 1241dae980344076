// Bad and hostile input: every case ends in a status, without a crash, a hang, a read outside the
// file, or a change to the file.
#include "pe/FileBytes.h"
#include "pe/PeImage.h"
#include "pe/modPETables.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

using test::Bitness;
using test::BuiltPe;
using test::PeBuilder;

BuiltPe Sample(Bitness bitness = Bitness::Pe32)
{
    PeBuilder b;
    b.bitness = bitness;
    b.imports = {"KERNEL32.dll", "USER32.dll"};
    b.exports = {"Alpha", "Beta"};
    return b.Build();
}

struct Statuses {
    std::string imports;
    std::string exports;
};

Statuses Read(const std::vector<std::uint8_t> &bytes)
{
    const MemorySource source(bytes);
    return {ReadImportNames(source).status, ReadExportNames(source).status};
}

const Statuses kUnmappable{std::string(kStatusErrorMapping), std::string(kStatusErrorMapping)};
const Statuses kWalkFailures{std::string(kStatusImportWalkFailed), std::string(kStatusExportWalkFailed)};

bool operator==(const Statuses &a, const Statuses &b)
{
    return a.imports == b.imports && a.exports == b.exports;
}
void PrintTo(const Statuses &s, std::ostream *os)
{
    *os << '{' << s.imports << " | " << s.exports << '}';
}

TEST(HostileHeaders, BrokenHeadersFailToMap)
{
    const BuiltPe good = Sample();
    struct Case {
        const char *what;
        std::function<void(BuiltPe &)> breakIt;
    };
    const std::vector<Case> cases = {
        {"no MZ", [](BuiltPe &pe) { pe.bytes[0] = 'X'; }},
        {"e_lfanew past the end", [](BuiltPe &pe) { pe.PutU32(0x3C, static_cast<std::uint32_t>(pe.bytes.size())); }},
        {"e_lfanew negative", [](BuiltPe &pe) { pe.PutU32(0x3C, 0xFFFFFFF0); }},
        {"e_lfanew leaves no room for the file header",
         [](BuiltPe &pe) { pe.PutU32(0x3C, static_cast<std::uint32_t>(pe.bytes.size() - 8)); }},
        {"no PE signature", [](BuiltPe &pe) { pe.bytes[pe.layout.ntOffset + 2] = 1; }},
        {"unknown optional header magic", [](BuiltPe &pe) { pe.PutU16(pe.layout.optionalOffset, 0x107); }},
        {"SizeOfOptionalHeader zero", [](BuiltPe &pe) { pe.PutU16(pe.layout.ntOffset + 20, 0); }},
        {"SizeOfOptionalHeader past the end", [](BuiltPe &pe) { pe.PutU16(pe.layout.ntOffset + 20, 0xFFFF); }},
        {"section table past the end", [](BuiltPe &pe) { pe.PutU16(pe.layout.ntOffset + 6, 0xFFFF); }},
        {"truncated inside the DOS header", [](BuiltPe &pe) { pe.bytes.resize(40); }},
        {"truncated inside the optional header",
         [](BuiltPe &pe) { pe.bytes.resize(pe.layout.optionalOffset + 50); }},
        {"truncated inside the section table",
         [](BuiltPe &pe) { pe.bytes.resize(pe.layout.sectionTableOffset + 20); }},
    };
    for (const Case &c : cases) {
        BuiltPe pe = good;
        c.breakIt(pe);
        EXPECT_EQ(Read(pe.bytes), kUnmappable) << c.what;
    }
}

TEST(HostileTables, BrokenTablesAreWalkFailures)
{
    for (const Bitness bitness : {Bitness::Pe32, Bitness::Pe32Plus}) {
        const BuiltPe good = Sample(bitness);
        struct Case {
            const char *what;
            std::function<void(BuiltPe &)> breakIt;
        };
        const std::vector<Case> cases = {
            {"truncated inside the tables",
             [](BuiltPe &pe) { pe.bytes.resize(pe.layout.importDirectoryOffset + 10); }},
            {"section raw data beyond the end of the file",
             [](BuiltPe &pe) { pe.PutU32(pe.layout.sectionTableOffset + 20, 0x7FFFF000); }},
            {"section raw size wrapping 32 bits", [](BuiltPe &pe) {
                 pe.PutU32(pe.layout.sectionTableOffset + 16, 0xFFFFFFFF);
                 pe.PutU32(pe.layout.sectionTableOffset + 20, 0xFFFFFF00);
             }},
            {"names without their zero at the end of the file", [](BuiltPe &pe) {
                 pe.bytes.resize(pe.layout.importNameOffsets[1] + 3);
             }},
        };
        for (const Case &c : cases) {
            BuiltPe pe = good;
            c.breakIt(pe);
            const Statuses s = Read(pe.bytes);
            EXPECT_NE(s.imports, kStatusImportsOk) << c.what;
            EXPECT_NE(s.exports, kStatusExportsOk) << c.what;
        }
        // Section raw size zero: the data section holds nothing, so no RVA resolves.
        BuiltPe pe = good;
        pe.PutU32(pe.layout.sectionTableOffset + 16, 0);
        EXPECT_EQ(Read(pe.bytes), kWalkFailures);
    }
}

TEST(HostileTables, ImportTableWithoutEndStopsAtTheEndOfTheFile)
{
    PeBuilder b;
    b.imports = {"A.dll"};
    BuiltPe pe = b.Build();
    // Every byte from the table to the end of the file reads as a non-zero Name RVA pointing at A.dll.
    const std::uint32_t nameRva = pe.layout.RvaOf(pe.layout.importNameOffsets[0]);
    for (std::uint64_t at = pe.layout.importDirectoryOffset; at + 4 <= pe.bytes.size(); at += 4) {
        pe.PutU32(at, nameRva);
    }
    pe.PutU32(pe.layout.sectionTableOffset + 8, 0x10000000); // virtual size: irrelevant to the walk
    // The name itself is overwritten too, so it has no zero; give it one at the very end instead.
    pe.bytes.back() = 0;
    const auto r = ReadImportNames(MemorySource(pe.bytes));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, kStatusImportWalkFailed);
}

TEST(HostileTables, SixtyThousandDescriptorsFinishQuickly)
{
    PeBuilder b;
    b.imports.assign(60000, "X.dll");
    const BuiltPe pe = b.Build();
    const auto start = std::chrono::steady_clock::now();
    const auto r = ReadImportNames(MemorySource(pe.bytes));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.names.size(), 60000u);
    EXPECT_LT(took, std::chrono::seconds(2)) << "a generous bound; it takes milliseconds";
}

TEST(HostileTables, HugeNameCountsEndWhereTheTableLeavesTheFile)
{
    for (const std::uint32_t count : {0x7FFFFFFFu, 0x00100000u}) {
        BuiltPe pe = Sample();
        pe.PutU32(pe.layout.exportDirectoryOffset + 24, count);
        const auto r = ReadExportNames(MemorySource(pe.bytes));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.status, kStatusExportWalkFailed);
    }
}

TEST(HostileTables, ManyPointersAtOneLongNameHitTheOutputLimit)
{
    // 200,000 pointers at one 1,000-byte name would ask for 200 MB of names from a 1.8 MB file.
    PeBuilder b;
    b.exports.assign(200000, std::string(1000, 'N'));
    b.exports.resize(1);
    BuiltPe pe = b.Build();
    const std::uint32_t nameRva = pe.GetU32(pe.layout.exportNamePointersOffset);
    const std::uint64_t table = pe.bytes.size();
    pe.bytes.resize(table + 4 * 200000);
    pe.PutU32(pe.layout.sectionTableOffset + 16, static_cast<std::uint32_t>(pe.bytes.size() - pe.layout.sectionOffset));
    for (std::uint64_t k = 0; k < 200000; ++k) {
        pe.PutU32(table + 4 * k, nameRva);
    }
    pe.PutU32(pe.layout.exportDirectoryOffset + 24, 200000);
    pe.PutU32(pe.layout.exportDirectoryOffset + 32, pe.layout.RvaOf(table));
    const auto r = ReadExportNames(MemorySource(pe.bytes));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, kStatusExportWalkFailed);
}

TEST(HostileTables, OverlappingSectionsResolveThroughTheFirstInTableOrder)
{
    PeBuilder b;
    b.imports = {"A.dll"};
    BuiltPe pe = b.Build();
    // A second section header over the same RVAs, pointing at garbage; the first one must win.
    const std::uint64_t second = pe.layout.sectionTableOffset + 40;
    for (std::uint64_t i = 0; i < 40; ++i) {
        pe.bytes[second + i] = pe.bytes[pe.layout.sectionTableOffset + i];
    }
    pe.PutU32(second + 20, 0); // raw data at offset 0: the MZ header
    pe.PutU16(pe.layout.ntOffset + 6, 2);
    EXPECT_EQ(ReadImportNames(MemorySource(pe.bytes)).names, std::vector<std::string>{"A.dll"});
}

class SpecialFiles : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(SpecialFiles, NonRegularFilesFailAtOnce)
{
    const auto fifo = (dir / "pipe.dll").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto loop = dir / "loop.dll";
    std::filesystem::create_symlink(loop, loop);
    for (const std::string &path : {fifo, std::string("/dev/zero"), std::string("/dev/urandom"),
                                    std::string("/proc/self/status"), dir.Path().string(), loop.string()}) {
        const auto start = std::chrono::steady_clock::now();
        std::string list, status;
        EXPECT_FALSE(GetImportList(path, list, status)) << path;
        EXPECT_EQ(status, kStatusErrorMapping) << path;
        EXPECT_FALSE(GetExportList(path, list, status)) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << path;
    }
}

TEST_F(SpecialFiles, UnreadableFileFailsToMap)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    const auto path = Sample().WriteTo(dir / "locked.dll");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    std::string list, status;
    EXPECT_FALSE(GetImportList(path.string(), list, status));
    EXPECT_EQ(status, kStatusErrorMapping);
}

TEST_F(SpecialFiles, FileThatShrinksAfterOpeningEndsInAStatus)
{
    // Enough descriptors that the names lie pages away from the headers.
    PeBuilder b;
    b.imports.assign(4000, "A_RATHER_LONG_LIBRARY_NAME.dll");
    const BuiltPe pe = b.Build();
    ASSERT_GT(pe.layout.importNameOffsets[0], FileBytes::kPageSize);
    const auto path = pe.WriteTo(dir / "shrinking.dll");
    auto file = FileBytes::Open(path.string());
    ASSERT_TRUE(file);
    ASSERT_TRUE(PeImage::Parse(*file));
    // Cut the file after its headers were read: the pages still to be read are gone.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(pe.layout.sectionOffset + 8)), 0);
    const auto r = ReadImportNames(*file);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, kStatusImportWalkFailed) << "the headers' page was read before the cut";
}

TEST_F(SpecialFiles, ReadersNeverChangeTheFile)
{
    const BuiltPe pe = Sample(Bitness::Pe32Plus);
    const auto path = pe.WriteTo(dir / "watched.dll");
    const auto timeBefore = std::filesystem::last_write_time(path);
    std::string list, status;
    for (int i = 0; i < 3; ++i) {
        GetImportList(path.string(), list, status);
        GetExportList(path.string(), list, status);
    }
    EXPECT_EQ(std::filesystem::last_write_time(path), timeBefore);
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(after, pe.bytes);
}

TEST_F(SpecialFiles, HugeSparseFileReadsOnlyItsTables)
{
    const BuiltPe pe = Sample();
    const auto path = pe.WriteTo(dir / "huge.dll");
    std::filesystem::resize_file(path, 1ull << 32); // 4 GiB, sparse
    const auto start = std::chrono::steady_clock::now();
    std::string list, status;
    EXPECT_TRUE(GetImportList(path.string(), list, status));
    EXPECT_EQ(list, "KERNEL32.dll\r\nUSER32.dll");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

} // namespace
} // namespace quorvane
