// The fast scan against the literal reference: on many thousands of random byte strings drawn
// from the characters that steer the algorithm, cut into pieces of random sizes, and on real PE
// files.
#include "core/scan/DeepScanReference.h"
#include "core/scan/DeepScan.h"
#include "core/scan/ScanSources.h"
#include "core/scan/modCleanFilename.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace quorvane {
namespace {

using test::Bytes;
using test::BytesSource;
using test::kAllTypes;
using test::ScanContents;
using namespace std::string_view_literals;

// Mostly the characters that decide where a name starts and whether it is kept, with the letters
// of the extensions in both cases so that extensions form by chance; now and then any byte.
std::string RandomBytes(std::mt19937 &random, std::size_t maxLength)
{
    static constexpr std::string_view kAlphabet = "....DdLlOoCcXxSsYyRrVvTtBb,,  \0\0\\\\A9z_-\t"sv;
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<int> percent(0, 99);
    std::string bytes(length(random), '\0');
    for (char &c : bytes) {
        c = percent(random) < 5 ? static_cast<char>(anyByte(random)) : kAlphabet[pick(random)];
    }
    // Whole extensions too, so that most strings hold several occurrences.
    const std::string_view pieces[] = {".DLL", ".dll", ".OCX", ".Sys", ".DRV", ".tlb", "KERNEL32"};
    std::uniform_int_distribution<std::size_t> where(0, bytes.size());
    std::uniform_int_distribution<std::size_t> which(0, std::size(pieces) - 1);
    for (int k = percent(random) % 4; k > 0; --k) {
        bytes.insert(where(random), pieces[which(random)]);
    }
    return bytes;
}

std::array<bool, 5> RandomTicks(std::mt19937 &random)
{
    std::array<bool, 5> ticked{};
    const auto bits = random();
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        ticked[i] = (bits >> i & 1u) != 0 || (bits & 0x60u) == 0x60u;
    }
    return ticked;
}

TEST(DeepScanAgainstReference, RandomBytes)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pieceSize(1, 40);
    for (int round = 0; round < 12000; ++round) {
        const std::string bytes = RandomBytes(random, round < 6000 ? 24 : 160);
        const auto ticked = RandomTicks(random);
        const reference::Result expected = reference::DeepScan(bytes, ticked);

        const DeepScanResult whole = ScanContents(Bytes(bytes), ticked);
        ASSERT_EQ(whole.scratch, expected.scratch) << testing::PrintToString(bytes);
        ASSERT_EQ(whole.dependencies, expected.dependencies) << testing::PrintToString(bytes);

        const std::size_t piece = pieceSize(random);
        const DeepScanResult cut = ScanSourceContents(BytesSource(bytes), ticked, nullptr, piece);
        ASSERT_EQ(cut.scratch, expected.scratch)
            << "piece " << piece << ": " << testing::PrintToString(bytes);
    }
}

TEST(DeepScanAgainstReference, CleanFilenameOnRandomText)
{
    std::mt19937 random(99);
    for (int round = 0; round < 8000; ++round) {
        const std::string text = RandomBytes(random, 30);
        ASSERT_EQ(CleanFilename(text), reference::CleanFilename(text))
            << testing::PrintToString(text);
    }
}

// Real Windows DLLs that Debian ships (MinGW-w64's winpthreads, 64- and 32-bit).
TEST(DeepScanAgainstReference, RealPeFiles)
{
    int tried = 0;
    for (const char *path : {"/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll",
                             "/usr/i686-w64-mingw32/lib/libwinpthread-1.dll"}) {
        if (!std::filesystem::is_regular_file(path)) {
            continue;
        }
        ++tried;
        const std::string bytes = test::ReadWholeFile(path);
        const reference::Result expected = reference::DeepScan(bytes, kAllTypes);
        const DeepScanResult fromFile = RunDeepScan(path, kAllTypes);
        EXPECT_EQ(fromFile.outcome, DeepScanOutcome::Complete);
        EXPECT_EQ(fromFile.scratch, expected.scratch) << path;
        EXPECT_EQ(fromFile.dependencies, expected.dependencies) << path;
        // Both import KERNEL32.dll and msvcrt.dll by name.
        EXPECT_NE(std::find(expected.scratch.begin(), expected.scratch.end(), "KERNEL32.DLL"),
                  expected.scratch.end());
        EXPECT_NE(std::find(expected.scratch.begin(), expected.scratch.end(), "MSVCRT.DLL"),
                  expected.scratch.end());
        for (const std::size_t piece : {1u, 7u, 4096u}) {
            EXPECT_EQ(ScanSourceContents(BytesSource(bytes), kAllTypes, nullptr, piece).scratch,
                      expected.scratch)
                << path << " in pieces of " << piece;
        }
    }
    if (tried == 0) {
        GTEST_SKIP() << "MinGW-w64's DLLs are not installed";
    }
}

} // namespace
} // namespace quorvane
