// The deep scan's names: the cases that define it against the literal reference and at every piece
// size, random bytes against the reference, its cost on inputs built to make a naive scan
// quadratic, and how it ends when cancelled or when its source shrinks.
#include "core/scan/DeepScan.h"
#include "core/scan/CandidateSearch.h"
#include "core/scan/DeepScanReference.h"
#include "core/scan/ScanSources.h"
#include "core/scan/modCleanFilename.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace quorvane {
namespace {

using test::BytesSource;
using test::kAllTypes;
using test::Scan;
using Names = std::vector<std::string>;
using namespace std::literals;

DeepScanResult ScanWhole(std::string_view bytes, const std::array<bool, 5> &ticked)
{
    return ScanSourceContents(
        MemorySource({reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()}), ticked);
}

TEST(DeepScan, EdgeCasesAtEveryPieceSizeAndInTheReference)
{
    const std::string run(100, 'n');
    const struct {
        std::string bytes;
        Names names;
        std::array<bool, 5> ticked = kAllTypes;
    } rows[] = {
        {"\0KERNEL32.DLL\0"s, {"KERNEL32.DLL"}},
        {"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL\0"s, {"SHELL32.DLL"}},
        {"   spaced.dll", {"SPACED.DLL"}}, // the start stops the walk back like a NUL
        {"\0MY FILE.DLL\0ERROR LOADING FOO.DLL"s, {"FILE.DLL", "FOO.DLL"}},
        {"\0FOO.DLL\0foo.dll\0BAR.DLL"s, {"FOO.DLL", "BAR.DLL"}},
        {"\0A.DLL.DLL\0A.DLLB.DLL"s, {"A.DLL"}},
        {"\0\\.DLL\0.DLL\0LIB.OLD.DLL\0A..DLL"s, {}},
        {"\0K\0E\0R\0N\0E\0L\0.\0D\0L\0L\0"s, {}},
        {"", {}},
        {"\0C:/WIN/MY_LIB.DLL\0API-MS-WIN-CORE-FILE-L1-1-0.DLL"s, {"LIB.DLL", "0.DLL"}},
        {"\0\t1,2.DLL\0\xE9T\xC9X.DLL\xFF"s, {"1,2.DLL", "X.DLL"}},
        {"A\\B.DLL.DLLX.DLL", {"B.DLL"}},
        {"\0B.OCX\0A.DLL\0b.ocx\0C.DLL\0FOO.OCX\0FOO.DLL"s,
         {"A.DLL", "C.DLL", "FOO.DLL", "B.OCX", "FOO.OCX"}},
        {"\0zip.sys\0d.drv\0e.tlb\0ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.OCX.OCX"s,
         {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.OCX", "ZIP.SYS", "D.DRV", "E.TLB"}},
        {"\0A.OCX\0B.DLL\0C.SYS\0D.DRV\0E.TLB\0"s, {"C.SYS", "E.TLB"}, {0, 0, 1, 0, 1}},
        {"\0A.OCX\0B.DLL\0"s, {}, {}},
        {"DLL.DLL.DLL.DLL..DLL...DLL", {"DLL.DLL"}},
        {run + ".Sys" + run + ".DRV", {std::string(100, 'N') + ".SYS"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.bytes));
        const reference::Result expected = reference::DeepScan(row.bytes, row.ticked);
        EXPECT_EQ(expected.scratch, row.names);
        EXPECT_EQ(expected.dependencies, row.names);
        const DeepScanResult whole = ScanWhole(row.bytes, row.ticked);
        EXPECT_EQ(whole.scratch, row.names);
        EXPECT_EQ(whole.dependencies, row.names);
        for (std::size_t piece = 1; piece <= row.bytes.size() + 1; ++piece) {
            ASSERT_EQ(Scan(row.bytes, row.ticked, piece).scratch, row.names) << "piece " << piece;
        }
    }
}

// Drawn mostly from the characters that steer the scan, with whole extensions put in.
TEST(DeepScan, RandomBytesAsTheReference)
{
    static constexpr std::string_view kAlphabet =
        "....DdLlOoCcXxSsYyRrVvTtBb,,  \0\0\\\\A9zZ_-\t"sv;
    std::mt19937 random(20240611);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    for (int round = 0; round < 12000; ++round) {
        std::string bytes(below(round < 6000 ? 25 : 161), '\0');
        for (char &c : bytes) {
            c = below(20) == 0 ? static_cast<char>(random()) : kAlphabet[below(kAlphabet.size())];
        }
        for (std::size_t k = below(4); k > 0; --k) {
            const std::string_view pieces[] = {".DLL", ".dll", ".OCX", ".Sys", ".DRV", ".tlb"};
            bytes.insert(below(bytes.size() + 1), pieces[below(6)]);
        }
        std::array<bool, 5> ticked{};
        for (bool &tick : ticked) {
            tick = below(3) != 0;
        }
        SCOPED_TRACE(testing::PrintToString(bytes));
        const reference::Result expected = reference::DeepScan(bytes, ticked);
        const DeepScanResult whole = ScanWhole(bytes, ticked);
        ASSERT_EQ(whole.scratch, expected.scratch);
        ASSERT_EQ(whole.dependencies, expected.dependencies);
        const std::size_t piece = 1 + below(40);
        ASSERT_EQ(Scan(bytes, ticked, piece).scratch, expected.scratch) << "piece " << piece;
        if (bytes.size() <= 30) {
            ASSERT_EQ(CleanFilename(bytes), reference::CleanFilename(bytes));
        }
    }
}

// ".XY" for every X and Y, sliding through the 64-byte blocks: each vector search the processor
// offers finds what the plain one finds, and that is the five extensions in four mixes of case.
TEST(DeepScan, CandidateSearchesFindEveryExtensionAndNothingElse)
{
    std::vector<std::uint8_t> bytes;
    for (int pair = 0; pair < 65536; ++pair) {
        bytes.insert(bytes.end(),
                     {'.', static_cast<std::uint8_t>(pair >> 8), static_cast<std::uint8_t>(pair)});
    }
    bytes.insert(bytes.end(), {0, 0});
    const auto all = [&](CandidateSearch search) {
        std::vector<std::size_t> found;
        for (std::size_t from = 0; from < bytes.size() - 2; from += kCandidateBlockSize) {
            auto [at, mask] = search(bytes.data(), from, bytes.size() - 2);
            for (from = at; mask != 0; mask &= mask - 1) {
                found.push_back(at + static_cast<std::size_t>(std::countr_zero(mask)));
            }
        }
        return found;
    };
    const auto expected = all(NextCandidatesPortable);
    EXPECT_EQ(expected.size(), 5u * 4u);
    for (const CandidateSearch search : {CandidateSearchSse2(), CandidateSearchAvx2()}) {
        if (search) {
            EXPECT_EQ(all(search), expected);
        }
    }
}

// A literal scan walks back from every point to the nearest NUL or backslash: quadratic on these.
// The scan reads each byte once, and again at most once more for a name that reaches behind the
// piece in hand.
TEST(DeepScan, HostileInputsAreReadAFewTimesAtMost)
{
    constexpr std::size_t kSize = 1 << 20;
    const std::string nameChars(kSize, 'A');
    std::string repeated, runs;
    while (repeated.size() < kSize) {
        repeated += "X.DLL.";
    }
    while (runs.size() < kSize) {
        runs += std::string(5000, 'B') + ".DLL.";
    }
    const std::pair<std::string, Names> inputs[] = {
        {std::string(kSize, '.'), {}},
        {nameChars, {}},
        {nameChars + ".dll", {nameChars + ".DLL"}},
        {"X." + nameChars + ".DLL", {}},
        {repeated, {"X.DLL"}},
        {runs, {std::string(5000, 'B') + ".DLL"}},
    };
    for (const auto &[bytes, names] : inputs) {
        for (const std::size_t piece : {std::size_t{4096}, kDeepScanChunkSize}) {
            BytesSource source(bytes);
            EXPECT_EQ(ScanSourceContents(source, kAllTypes, nullptr, piece).scratch, names);
            EXPECT_LE(source.bytesRead, 3 * bytes.size()) << bytes.substr(0, 16);
        }
    }
}

TEST(DeepScan, CancelStopsTheScanAtTheNextPiece)
{
    std::atomic<bool> cancel{true};
    EXPECT_EQ(ScanSourceContents(BytesSource("\0A.DLL\0"s), kAllTypes, &cancel).outcome,
              DeepScanOutcome::Cancelled);

    cancel = false;
    BytesSource source(std::string(1 << 20, '\0') + "A.DLL");
    source.onRead = [&cancel](std::size_t read, std::string &) { cancel = read >= 2; };
    const DeepScanResult r = ScanSourceContents(source, kAllTypes, &cancel, 4096);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Cancelled);
    EXPECT_TRUE(r.scratch.empty());
    EXPECT_EQ(source.reads, 2u);
}

// A file rewritten while it is scanned: cut short between pieces, inside the one piece, or while
// a name behind the piece is read back, it ends in ReadFailed and empty lists (never names from
// stale bytes); grown, it is read to the size it had.
TEST(DeepScan, ASourceThatShrinksEndsInReadFailedAndOneThatGrowsIsReadToItsOldSize)
{
    const struct {
        std::string bytes;
        std::size_t atRead;
        std::string_view appended; // else the bytes are cut to half
        DeepScanOutcome outcome;
        Names names;
    } rows[] = {
        {"\0A.DLL\0"s + std::string(100000, 'x') + "\0B.DLL"s,
         3,
         {},
         DeepScanOutcome::ReadFailed,
         {}},
        {"\0A.DLL\0"s + std::string(3000, 'x') + "\0B.DLL"s,
         1,
         {},
         DeepScanOutcome::ReadFailed,
         {}},
        {std::string(50000, 'L') + ".DLL",
         14,
         {},
         DeepScanOutcome::ReadFailed,
         {}}, // the read back
        {"\0A.DLL\0"s + std::string(10000, 'x'),
         1,
         "\\GROWN.DLL",
         DeepScanOutcome::Complete,
         {"A.DLL"}},
    };
    for (const auto &row : rows) {
        BytesSource source(row.bytes);
        source.onRead = [&row](std::size_t read, std::string &bytes) {
            if (read == row.atRead && row.appended.empty()) {
                bytes.resize(bytes.size() / 2);
            } else if (read == row.atRead) {
                bytes += row.appended;
            }
        };
        const DeepScanResult r = ScanSourceContents(source, kAllTypes, nullptr, 4096);
        EXPECT_EQ(r.outcome, row.outcome) << row.atRead;
        EXPECT_EQ(r.scratch, row.names) << row.atRead;
        EXPECT_EQ(r.dependencies, row.names) << row.atRead;
    }
}

} // namespace
} // namespace quorvane
