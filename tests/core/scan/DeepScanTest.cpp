// The deep scan: its names against the literal reference at every piece size, on the cases that
// define it and on random bytes; each vector search against the plain one; its cost on inputs built
// to make a naive scan quadratic; how it ends when cancelled or when its source shrinks; and on
// POSIX, the paths that name no readable file and a file past 4 GiB.
#include "core/scan/DeepScan.h"
#include "core/pe/FileBytes.h"
#include "core/scan/CandidateSearch.h"
#include "core/scan/DeepScanReference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#ifndef _WIN32
#include "support/TempDir.h"

#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane {
namespace {

using Names = std::vector<std::string>;
using namespace std::literals;
constexpr std::array<bool, 5> kAllTypes{true, true, true, true, true};

// Bytes read in pieces, counting what is read. At read number changeAt (from 1) the scan is
// cancelled, when cancel is given, or else the bytes shrink to half: the source keeps the size it
// had when it was "opened".
struct BytesSource final : PagedSource {
    explicit BytesSource(std::string text) : PagedSource(text.size()), bytes(std::move(text)) {}
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (++reads == changeAt) {
            cancel ? cancel->store(true) : bytes.resize(bytes.size() / 2);
        }
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes.size()));
        const std::size_t count = std::min(out.size(), bytes.size() - from);
        std::memcpy(out.data(), bytes.data() + from, count);
        bytesRead += count;
        return count;
    }
    mutable std::string bytes;
    std::size_t changeAt = 0;
    std::atomic<bool> *cancel = nullptr;
    mutable std::size_t reads = 0, bytesRead = 0;
};

// Piece 0: the whole in memory, as the fuzz target and the window's tests see it.
DeepScanResult Scan(std::string_view bytes, const std::array<bool, 5> &ticked, std::size_t piece)
{
    const std::span whole(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return piece == 0 ? ScanSourceContents(MemorySource(whole), ticked)
                      : ScanSourceContents(BytesSource(std::string(bytes)), ticked, nullptr, piece);
}

TEST(DeepScan, EdgeCasesAtEveryPieceSizeAndInTheReference)
{
    const std::string run(100, 'n');
    const std::pair<std::string, Names> rows[] = {
        // The start and a backslash stop the walk back like a NUL; then the last name-like run.
        {"  k32.dll\0C:\\WIN\\SHELL32.DLL\0MY FILE.DLL\0ERROR LOADING FOO.DLL\0C:/W/MY_LIB.DLL"s,
         {"K32.DLL", "SHELL32.DLL", "FILE.DLL", "FOO.DLL", "LIB.DLL"}},
        {"\0API-MS-WIN-CORE-FILE-L1-1-0.DLL\0\t1,2.DLL\0\xE9T\xC9X.DLL\xFF\0foo.dll\0FOO.DLL"s,
         {"0.DLL", "1,2.DLL", "X.DLL", "FOO.DLL"}},
        {"\0A.DLL.DLL\0A.DLLB.DLL\0\\.DLL\0.DLL\0LIB.OLD.DLL\0A..DLL\0K\0E\0R\0.\0D\0L\0L"s,
         {"A.DLL"}},
        {"A\\B.DLL.DLLX.DLL\0DLL.DLL.DLL.DLL..DLL...DLL"s, {"B.DLL", "DLL.DLL"}},
        {"", {}},
        // Types in their order, each in file order; the first spelling of a name stays.
        {"\0B.OCX\0A.DLL\0b.ocx\0C.DLL\0FOO.OCX\0FOO.DLL\0zip.sys\0d.drv\0e.tlb"s,
         {"A.DLL", "C.DLL", "FOO.DLL", "B.OCX", "FOO.OCX", "ZIP.SYS", "D.DRV", "E.TLB"}},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.OCX.OCX",
         {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.OCX"}},
        {run + ".Sys" + run + ".DRV", {std::string(100, 'N') + ".SYS"}},
    };
    for (const auto &[bytes, names] : rows) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        const reference::Result expected = reference::DeepScan(bytes, kAllTypes);
        EXPECT_TRUE(expected.scratch == names && expected.dependencies == names);
        for (std::size_t piece = 0; piece <= bytes.size() + 1; ++piece) {
            ASSERT_EQ(Scan(bytes, kAllTypes, piece).scratch, names) << "piece " << piece;
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
            bytes.insert(below(bytes.size() + 1), ".DLL.dll.OCX.Sys.DRV.tlb" + 4 * below(6), 4);
        }
        const std::array<bool, 5> ticked{below(3) > 0, below(3) > 0, below(3) > 0, below(3) > 0,
                                         below(3) > 0};
        SCOPED_TRACE(testing::PrintToString(bytes));
        const reference::Result expected = reference::DeepScan(bytes, ticked);
        const DeepScanResult whole = Scan(bytes, ticked, 0);
        ASSERT_TRUE(whole.scratch == expected.scratch &&
                    whole.dependencies == expected.dependencies);
        ASSERT_EQ(Scan(bytes, ticked, 1 + below(40)).scratch, expected.scratch);
    }
}

// ".XY" for every X and Y, sliding through the 64-byte blocks: each vector search the processor
// offers finds what the plain one finds (the scans above hold the one in use to the reference).
TEST(DeepScan, EachVectorCandidateSearchFindsWhatThePlainOneFinds)
{
    std::vector<std::uint8_t> bytes;
    for (int pair = 0; pair < 65536; ++pair) {
        bytes.insert(bytes.end(), {'.', std::uint8_t(pair >> 8), std::uint8_t(pair), 0});
    }
    for (std::size_t from = 0; from < bytes.size() - 2; from += kCandidateBlockSize) {
        const auto [at, mask] = NextCandidatesPortable(bytes.data(), from, bytes.size() - 2);
        for (const CandidateSearch search : {CandidateSearchSse2(), CandidateSearchAvx2()}) {
            const auto block =
                search ? search(bytes.data(), from, bytes.size() - 2) : CandidateBlock{at, mask};
            ASSERT_TRUE(block.at == at && block.mask == mask) << from;
        }
        from = at;
    }
}

// A literal scan walks back from every point to the nearest NUL or backslash: quadratic on these.
// The scan reads each byte once, and again at most once more for a name that reaches behind the
// piece in hand.
TEST(DeepScan, HostileInputsAreReadAFewTimesAtMost)
{
    const std::string nameChars(1 << 20, 'A'), runOfB(5000, 'B');
    const auto repeat = [&](const std::string &piece) {
        std::string text;
        while (text.size() < nameChars.size()) {
            text += piece;
        }
        return text;
    };
    const std::pair<std::string, Names> inputs[] = {
        {std::string(1 << 20, '.'), {}},
        {nameChars, {}},
        {nameChars + ".dll", {nameChars + ".DLL"}},
        {"X." + nameChars + ".DLL", {}},
        {repeat("X.DLL."), {"X.DLL"}},
        {repeat(runOfB + ".DLL."), {runOfB + ".DLL"}},
    };
    for (const auto &[bytes, names] : inputs) {
        for (const std::size_t piece : {std::size_t{4096}, kDeepScanChunkSize}) {
            BytesSource source(bytes);
            EXPECT_EQ(ScanSourceContents(source, kAllTypes, nullptr, piece).scratch, names);
            EXPECT_LE(source.bytesRead, 3 * bytes.size()) << bytes.substr(0, 16);
        }
    }
}

// Cancelled before the first piece or after a piece; a file rewritten while it is scanned, cut
// short between pieces, inside the only piece or while a name behind the piece is read back: the
// scan stops at that piece with empty lists, never names from stale bytes.
TEST(DeepScan, ACancelOrASourceThatShrinksEndsTheScanAtThatPieceWithEmptyLists)
{
    const std::tuple<std::string, std::size_t, DeepScanOutcome> rows[] = {
        {"\0A.DLL\0"s, 0, DeepScanOutcome::Cancelled},
        {std::string(1 << 20, '\0') + "A.DLL", 2, DeepScanOutcome::Cancelled},
        {"\0A.DLL\0"s + std::string(100000, 'x') + "\0B.DLL"s, 3, DeepScanOutcome::ReadFailed},
        {"\0A.DLL\0"s + std::string(3000, 'x') + "\0B.DLL"s, 1, DeepScanOutcome::ReadFailed},
        // 13 pieces of 4096 bytes, then the read back
        {std::string(50000, 'L') + ".DLL", 14, DeepScanOutcome::ReadFailed},
    };
    for (const auto &[bytes, atRead, outcome] : rows) {
        std::atomic<bool> cancel{atRead == 0};
        BytesSource source(bytes);
        source.changeAt = atRead;
        source.cancel = outcome == DeepScanOutcome::Cancelled ? &cancel : nullptr;
        const DeepScanResult r = ScanSourceContents(source, kAllTypes, &cancel, 4096);
        EXPECT_EQ(r.outcome, outcome) << atRead;
        EXPECT_TRUE(r.scratch.empty() && r.dependencies.empty()) << atRead;
        EXPECT_TRUE(source.reads == atRead || outcome != DeepScanOutcome::Cancelled) << atRead;
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32) // ASan stops at a request this large
    // A piece of 16 TiB stands in for a name of that size: the first allocation that cannot be met.
    EXPECT_EQ(Scan("\0A.DLL"sv, kAllTypes, std::size_t{1} << 44).outcome,
              DeepScanOutcome::OutOfMemory);
#endif
}

#ifndef _WIN32
// The deep scan of a path: every kind of path that is no readable file fails at once with its
// reason and creates nothing; a sparse file past 4 GiB is read to its end in pieces, never copied.
TEST(RunDeepScan, PathsThatNameNoReadableFileFailAtOnceAndCreateNothing)
{
    test::TempDir dir;
    const auto locked = dir.Write("locked.dll", "\0A.DLL\0"sv);
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const std::pair<std::string, DeepScanOutcome> rows[] = {
        {(dir / "absent.dll").string(), DeepScanOutcome::NoSuchFile},
        {"", DeepScanOutcome::NoSuchFile},
        {dir.Path().string(), DeepScanOutcome::NotAFile},
        {(dir / "pipe").string(), DeepScanOutcome::NotAFile}, // no writer: opening it would hang
        {"/dev/zero", DeepScanOutcome::NotAFile},             // endless
        {locked.string(), ::geteuid() ? DeepScanOutcome::CannotOpen : DeepScanOutcome::Complete},
    };
    for (const auto &[path, outcome] : rows) {
        const DeepScanResult r = RunDeepScan(path, kAllTypes);
        EXPECT_EQ(r.outcome, outcome) << path;
        // A.DLL once from the file read, else nothing
        EXPECT_EQ(r.scratch, Names(outcome == DeepScanOutcome::Complete, "A.DLL")) << path;
        EXPECT_EQ(r.dependencies, r.scratch) << path;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

// Names at the start, across the seam of the first two pieces and past every 32-bit offset, with
// a hole of 4 GiB between them that costs no disk; the most memory the process ever held grows by
// far less than the file.
TEST(RunDeepScan, AFileOfFourGibibytesIsReadToItsEndWithoutACopy)
{
    test::TempDir dir;
    const auto path = dir / "large.dll";
    constexpr std::uint64_t kFar = (std::uint64_t{1} << 32) + 100;
    {
        std::ofstream file(path, std::ios::binary);
        file.write("\0KERNEL32.DLL\0", 14);
        file.seekp(static_cast<std::streamoff>(kDeepScanChunkSize - 3));
        file.write("\\SEAM.OCX\\", 10);
        file.seekp(static_cast<std::streamoff>(kFar));
        file.write("\0FAR.DLL\0", 9);
    }
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const DeepScanResult r = RunDeepScan(path.string(), kAllTypes);
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(r.scratch, (Names{"KERNEL32.DLL", "FAR.DLL", "SEAM.OCX"}));
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
}
#endif

} // namespace
} // namespace quorvane
