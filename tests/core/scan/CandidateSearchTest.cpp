// The vector searches for places where an extension may start find exactly what the plain one
// finds, wherever the search starts and ends.
#include "core/scan/CandidateSearch.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

namespace quorvane {
namespace {

using namespace std::string_view_literals;

std::vector<std::size_t> AllCandidates(CandidateSearch search,
                                       const std::vector<std::uint8_t> &bytes, std::size_t from,
                                       std::size_t limit)
{
    std::vector<std::size_t> found;
    while (from < limit) {
        auto [at, mask] = search(bytes.data(), from, limit);
        EXPECT_TRUE(mask == 0 || at >= from);
        for (; mask != 0; mask &= mask - 1) {
            found.push_back(at + static_cast<std::size_t>(std::countr_zero(mask)));
        }
        from = at + kCandidateBlockSize;
    }
    return found;
}

TEST(CandidateSearch, VectorVariantsAgreeWithThePlainOne)
{
    std::vector<std::pair<const char *, CandidateSearch>> variants;
    if (const CandidateSearch sse2 = CandidateSearchSse2()) {
        variants.emplace_back("SSE2", sse2);
    }
    if (const CandidateSearch avx2 = CandidateSearchAvx2()) {
        variants.emplace_back("AVX2", avx2);
    }
    if (variants.empty()) {
        GTEST_SKIP() << "no vector variant in this build";
    }
    static constexpr std::string_view kAlphabet = "..dDlLrRtToOcCsSyYxXaA\0"sv;
    std::mt19937 random(1234);
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes(std::uniform_int_distribution<std::size_t>(3, 400)(random));
        for (auto &b : bytes) {
            b = static_cast<std::uint8_t>(kAlphabet[pick(random)]);
        }
        const std::size_t limit =
            std::uniform_int_distribution<std::size_t>(0, bytes.size() - 2)(random);
        const std::size_t from = std::uniform_int_distribution<std::size_t>(0, limit)(random);
        const auto expected = AllCandidates(NextCandidatesPortable, bytes, from, limit);
        for (const auto &[name, search] : variants) {
            ASSERT_EQ(AllCandidates(search, bytes, from, limit), expected)
                << name << " from " << from << " to " << limit;
        }
    }
}

TEST(CandidateSearch, EveryPairOfBytesAfterAPoint)
{
    // ".XY" for every X and Y, at every offset in a 64-byte block as the triples slide along.
    std::vector<std::uint8_t> bytes;
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            bytes.insert(bytes.end(), {'.', static_cast<std::uint8_t>(first),
                                       static_cast<std::uint8_t>(second)});
        }
    }
    bytes.insert(bytes.end(), {0, 0});
    const auto expected = AllCandidates(NextCandidatesPortable, bytes, 0, bytes.size() - 2);
    EXPECT_EQ(expected.size(), 5u * 4u) << "DL, DR, OC, SY, TL in four mixes of case";
    for (const CandidateSearch search : {CandidateSearchSse2(), CandidateSearchAvx2()}) {
        if (search) {
            EXPECT_EQ(AllCandidates(search, bytes, 0, bytes.size() - 2), expected);
        }
    }
}

TEST(CandidateSearch, EveryExtensionInEitherCaseAndNothingElse)
{
    const std::string text = ".DLL.dll.Ocx.sYs.DrV.tlb.text.data.tls.d.o.s";
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(AllCandidates(NextCandidates, bytes, 0, bytes.size() - 2),
              (std::vector<std::size_t>{0, 4, 8, 12, 16, 20, 34}));
}

} // namespace
} // namespace quorvane
