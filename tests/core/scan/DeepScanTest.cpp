// The deep scan's names on the cases that define it, each checked against the literal reference
// too, at every piece size, and its cost on inputs built to make a naive scan quadratic.
#include "core/scan/DeepScan.h"
#include "core/scan/DeepScanReference.h"
#include "core/scan/ScanSources.h"
#include "core/scan/modCleanFilename.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using test::Bytes;
using test::BytesSource;
using test::kAllTypes;
using test::ScanContents;
using Names = std::vector<std::string>;

using namespace std::string_literals;

constexpr std::array<bool, 5> kDllOnly{true, false, false, false, false};

// The names of one file type, as the scan finds them and as the reference does.
Names FastFind(std::string_view contents)
{
    return ScanContents(Bytes(contents), kDllOnly).scratch;
}

Names ReferenceFind(std::string_view contents)
{
    return reference::DeepScan(contents, kDllOnly).scratch;
}

struct SearchCase {
    std::string contents;
    Names found;
};

TEST(DeepScan, NameSearchEdgeCases)
{
    const SearchCase cases[] = {
        {"\0KERNEL32.DLL\0"s, {"KERNEL32.DLL"}},
        {"C:\\WINDOWS\\SYSTEM32\\SHELL32.DLL\0"s, {"SHELL32.DLL"}},
        {"\0MY FILE.DLL"s, {"FILE.DLL"}},
        {"\0FOO.DLL\0FOO.DLL\0BAR.DLL"s, {"FOO.DLL", "BAR.DLL"}},
        {"\0A.DLL.DLL\0"s, {"A.DLL"}},
        {"\0A.DLLB.DLL"s, {"A.DLL"}},
        {"\0FOO.DLLX"s, {"FOO.DLL"}},
        {"\0\\.DLL"s, {}},
        {"\0.DLL"s, {}},
        {"\0foo.dll"s, {"FOO.DLL"}},
        {"\0K\0E\0R\0N\0E\0L\0.\0D\0L\0L\0"s, {}},
        {"", {}},
        // The start of the contents stops the walk like a NUL.
        {"KERNEL32.DLL", {"KERNEL32.DLL"}},
        {".DLL", {}},
        {"   SPACED.DLL", {"SPACED.DLL"}},
        // What stands before the run decides; the stop character itself never does.
        {"\0ERROR LOADING FOO.DLL"s, {"FOO.DLL"}},
        {"\0C:/WIN/MY_LIB.DLL"s, {"LIB.DLL"}},
        {"\0API-MS-WIN-CORE-FILE-L1-1-0.DLL"s, {"0.DLL"}},
        {"\0LIB.OLD.DLL"s, {}},
        {"\0A..DLL"s, {}},
        {"\0\t1,2.DLL"s, {"1,2.DLL"}},
        {"\0\xE9T\xC9X.DLL\xFF"s, {"X.DLL"}},
        {"A\\B.DLL.DLLX.DLL", {"B.DLL"}},
    };
    for (const SearchCase &c : cases) {
        EXPECT_EQ(FastFind(c.contents), c.found) << testing::PrintToString(c.contents);
        EXPECT_EQ(ReferenceFind(c.contents), c.found) << testing::PrintToString(c.contents);
    }
}

TEST(CleanFilename, Examples)
{
    const std::pair<std::string, std::string> cases[] = {
        {"KERNEL32.DLL", "KERNEL32.DLL"},
        {"ERROR LOADING FOO.DLL", "FOO.DLL"},
        {"MY FILE.DLL", "FILE.DLL"},
        {"C:/WIN/MY_LIB.DLL", "LIB.DLL"},
        {"API-MS-WIN-CORE-FILE-L1-1-0.DLL", "0.DLL"},
        {"1,2.DLL", "1,2.DLL"},
        {"LIB.OLD.DLL", ".DLL"},
        {"A..DLL", ".DLL"},
        {".DLL", ".DLL"},
        {"NO POINT HERE", ""},
        {"", ""},
        {"lower.case", "lower.case"},
        {"A.B C", "A.B"},
        {"X.Y.", "."},
        {"AB.CD.EF GH.IJ-KL", "GH.IJ"},
    };
    for (const auto &[text, cleaned] : cases) {
        EXPECT_EQ(CleanFilename(text), cleaned) << text;
        EXPECT_EQ(reference::CleanFilename(text), cleaned) << text;
    }
}

// The examples of the scan as a whole, through the scratch list and the dependency list.
TEST(DeepScan, AllBoxesUntickedFindsNothing)
{
    const DeepScanResult r = ScanContents(Bytes("\0KERNEL32.DLL\0X.OCX\0"s), {});
    EXPECT_EQ(r.outcome, DeepScanOutcome::Complete);
    EXPECT_EQ(r.scratch, Names{});
    EXPECT_EQ(r.dependencies, Names{});
}

TEST(DeepScan, OneEntryPerNameWhateverItsCase)
{
    const std::string file = "\0KERNEL32.dll\0\0KERNEL32.dll\0x\0kernel32.DLL\0\0KERNEL32.dll\0"s;
    const DeepScanResult r = ScanContents(Bytes(file), kAllTypes);
    EXPECT_EQ(r.scratch, Names{"KERNEL32.DLL"});
    EXPECT_EQ(r.dependencies, Names{"KERNEL32.DLL"});
}

TEST(DeepScan, SameBaseNameUnderTwoTypesGivesTwoEntries)
{
    const DeepScanResult r = ScanContents(Bytes("\0FOO.DLL\0FOO.OCX\0"s), kAllTypes);
    EXPECT_EQ(r.dependencies, (Names{"FOO.DLL", "FOO.OCX"}));
}

TEST(DeepScan, OnlyTickedTypesAreSearched)
{
    const std::string file = "\0A.OCX\0B.DLL\0C.SYS\0D.DRV\0E.TLB\0"s;
    EXPECT_EQ(ScanContents(Bytes(file), kDllOnly).dependencies, Names{"B.DLL"});
    EXPECT_EQ(ScanContents(Bytes(file), {false, false, true, false, true}).dependencies,
              (Names{"C.SYS", "E.TLB"}));
    EXPECT_EQ(ScanContents(Bytes(file), kAllTypes).scratch,
              (Names{"B.DLL", "A.OCX", "C.SYS", "D.DRV", "E.TLB"}));
}

TEST(DeepScan, TypesInIndexOrderThenFileOrderFirstOccurrenceKept)
{
    const DeepScanResult r = ScanContents(Bytes("\0B.OCX\0A.DLL\0b.ocx\0C.DLL\0"s), kAllTypes);
    EXPECT_EQ(r.scratch, (Names{"A.DLL", "C.DLL", "B.OCX"}));
    EXPECT_EQ(r.dependencies, (Names{"A.DLL", "C.DLL", "B.OCX"}));
}

TEST(CopyNamesToDependencyList, KeepsItemsWhoseTailBeginsWithAPoint)
{
    const Names list1{"A.DLL", "",   ".DLL", "X",     " .DL", "A. B",
                      "X .DL", "  ", "A.DL", "X.D L", ". "};
    Names fast, literal;
    CopyNamesToDependencyList(list1, fast);
    reference::CopyNamesToDependencyList(list1, literal);
    EXPECT_EQ(fast, (Names{"A.DLL", ".DLL", " .DL", "X .DL", "X.D L", ". "}));
    EXPECT_EQ(literal, fast);
}

// Every piece size from 1 byte up, so that every name, every run of name characters and every
// extension is cut by a seam somewhere.
TEST(DeepScan, PieceSeamsChangeNothing)
{
    const std::string files[] = {
        "\0KERNEL32.dll\0\\\\SERVER\\SHARE\\PRINT.DRV\0LIB.OLD.DLL\0A.DLLB.DLL\0"
        "msvcrt.dll\0 my driver.sys\0stdole2.tlb\0x.ocx.ocx\0ABCDEFGHIJKLMNOPQRSTUVWXYZ.DLL"s,
        "DLL.DLL.DLL.DLL..DLL...DLL",
        "A.DL",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.OCX.OCX",
        ".TLB",
        "X.TLB",
        std::string(100, 'n') + ".Sys" + std::string(70, 'm') + ".DRV",
    };
    for (const std::string &file : files) {
        const reference::Result expected = reference::DeepScan(file, kAllTypes);
        for (std::size_t piece = 1; piece <= file.size() + 1; ++piece) {
            const DeepScanResult r =
                ScanSourceContents(BytesSource(file), kAllTypes, nullptr, piece);
            ASSERT_EQ(r.scratch, expected.scratch) << "piece " << piece << " in " << file;
            ASSERT_EQ(r.dependencies, expected.dependencies) << "piece " << piece;
        }
    }
}

// A literal scan walks back from every point to the nearest NUL or backslash: quadratic on these.
// The scan reads each byte once, and again at most once more when a name reaches behind the piece
// in hand (plus the name's own bytes).
TEST(DeepScan, HostileInputsAreReadAFewTimesAtMost)
{
    constexpr std::size_t kSize = 1 << 20;
    std::string nameChars(kSize, 'A');
    std::string longName = nameChars + ".DLL";
    std::string afterPoint = "X." + nameChars + ".DLL";
    std::string repeated;
    while (repeated.size() < kSize) {
        repeated += "X.DLL.";
    }
    std::string runs;
    while (runs.size() < kSize) {
        runs += std::string(5000, 'B') + ".DLL.";
    }
    const struct {
        std::string bytes;
        std::size_t names;
    } inputs[] = {{std::string(kSize, '.'), 0},
                  {nameChars, 0},
                  {longName, 1},
                  {afterPoint, 0},
                  {repeated, 1},
                  {runs, 1}};
    for (const auto &input : inputs) {
        for (const std::size_t piece : {std::size_t{4096}, kDeepScanChunkSize}) {
            BytesSource source(input.bytes);
            const DeepScanResult r = ScanSourceContents(source, kAllTypes, nullptr, piece);
            EXPECT_EQ(r.scratch.size(), input.names);
            EXPECT_LE(source.bytesRead, 3 * input.bytes.size()) << input.bytes.substr(0, 16);
        }
    }
    const DeepScanResult r = ScanSourceContents(BytesSource(longName), kAllTypes, nullptr, 4096);
    ASSERT_EQ(r.scratch.size(), 1u);
    EXPECT_EQ(r.scratch[0], longName);
}

TEST(DeepScan, CancelFlagStopsTheScan)
{
    std::atomic<bool> cancel{true};
    EXPECT_EQ(ScanContents(Bytes("\0A.DLL\0"s), kAllTypes, &cancel).outcome,
              DeepScanOutcome::Cancelled);

    // Raised while the scan runs: it stops at the next piece instead of reading on.
    cancel = false;
    BytesSource source(std::string(1 << 20, '\0') + "A.DLL");
    source.onRead = [&cancel](std::size_t read) { cancel = read >= 2; };
    const DeepScanResult r = ScanSourceContents(source, kAllTypes, &cancel, 4096);
    EXPECT_EQ(r.outcome, DeepScanOutcome::Cancelled);
    EXPECT_EQ(source.reads, 2u);
}

TEST(DeepScan, SourceThatShrinksEndsTheScanWithEmptyLists)
{
    BytesSource source("\0A.DLL\0"s + std::string(100000, 'x') + "\0B.DLL"s);
    source.shrinkAtRead = 3;
    const DeepScanResult r = ScanSourceContents(source, kAllTypes, nullptr, 4096);
    EXPECT_EQ(r.outcome, DeepScanOutcome::ReadFailed);
    EXPECT_TRUE(r.scratch.empty());
    EXPECT_TRUE(r.dependencies.empty());

    // Shrinking while a name that reaches behind the piece is read back.
    BytesSource behind(std::string(50000, 'L') + ".DLL");
    behind.shrinkAtRead = 14; // 13 pieces of 4096 bytes, then the walk back
    const DeepScanResult back = ScanSourceContents(behind, kAllTypes, nullptr, 4096);
    EXPECT_EQ(back.outcome, DeepScanOutcome::ReadFailed);
    EXPECT_TRUE(back.scratch.empty());
}

} // namespace
} // namespace quorvane
