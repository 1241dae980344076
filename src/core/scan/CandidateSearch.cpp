#include "core/scan/CandidateSearch.h"

#include <algorithm>

#if defined(__SSE2__) || defined(_M_X64)
#include <immintrin.h>
#define QUORVANE_HAVE_SSE2 1
#endif
// AVX2 is chosen at run time: the program is built for the x86-64 baseline, which lacks it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVANE_HAVE_AVX2 1
#endif

namespace quorvane {
namespace {

constexpr std::size_t kBlock = kCandidateBlockSize;

bool IsCandidate(const std::uint8_t *at)
{
    if (at[0] != '.') {
        return false;
    }
    const unsigned first = at[1] | 0x20u;
    const unsigned second = at[2] | 0x20u;
    return (first == 'd' && (second == 'l' || second == 'r')) || (first == 't' && second == 'l') ||
           (first == 'o' && second == 'c') || (first == 's' && second == 'y');
}

// The candidates among the fewer than 64 positions [at, limit) that a vector block cannot cover.
CandidateBlock Tail(const std::uint8_t *bytes, std::size_t at, std::size_t limit)
{
    std::uint64_t mask = 0;
    for (std::size_t k = at; k < limit; ++k) {
        if (IsCandidate(bytes + k)) {
            mask |= std::uint64_t{1} << (k - at);
        }
    }
    return {mask != 0 ? at : limit, mask};
}

#ifdef QUORVANE_HAVE_SSE2

inline __m128i Load16(const std::uint8_t *bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
}

inline __m128i Is16(__m128i v, char c)
{
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

// Bit k set when bytes[k] starts a candidate. Reads bytes[0] to bytes[17].
inline std::uint64_t CandidateMask16(const std::uint8_t *bytes)
{
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i first = _mm_or_si128(Load16(bytes + 1), caseBit);
    const __m128i second = _mm_or_si128(Load16(bytes + 2), caseBit);
    const __m128i secondL = Is16(second, 'l');
    const __m128i pairs = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(Is16(first, 'd'), _mm_or_si128(secondL, Is16(second, 'r'))),
                     _mm_and_si128(Is16(first, 't'), secondL)),
        _mm_or_si128(_mm_and_si128(Is16(first, 'o'), Is16(second, 'c')),
                     _mm_and_si128(Is16(first, 's'), Is16(second, 'y'))));
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_and_si128(Is16(Load16(bytes), '.'), pairs)));
}

// Most 64-byte stretches of a file hold no point at all; those cost four comparisons.
CandidateBlock NextCandidatesSse2(const std::uint8_t *bytes, std::size_t from, std::size_t limit)
{
    std::size_t at = from;
    for (; at + kBlock <= limit; at += kBlock) {
        const __m128i points = _mm_or_si128(
            _mm_or_si128(Is16(Load16(bytes + at), '.'), Is16(Load16(bytes + at + 16), '.')),
            _mm_or_si128(Is16(Load16(bytes + at + 32), '.'), Is16(Load16(bytes + at + 48), '.')));
        if (_mm_movemask_epi8(points) == 0) {
            continue;
        }
        const std::uint64_t mask =
            CandidateMask16(bytes + at) | CandidateMask16(bytes + at + 16) << 16 |
            CandidateMask16(bytes + at + 32) << 32 | CandidateMask16(bytes + at + 48) << 48;
        if (mask != 0) {
            return {at, mask};
        }
    }
    return Tail(bytes, at, limit);
}

#endif

#ifdef QUORVANE_HAVE_AVX2

#define QUORVANE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

QUORVANE_AVX2_INLINE __m256i Load32(const std::uint8_t *bytes)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes));
}

// The same 16-byte table in both halves: a byte shuffle looks up within its own half.
QUORVANE_AVX2_INLINE __m256i Twice(__m128i table)
{
    return _mm256_broadcastsi128_si256(table);
}

// Each byte's class, as bits that stand for the extensions it can start (first) or continue
// (second): DL 1, DR 2, TL 4, OC 8, SY 16. Looked up by the low and by the high half of the byte;
// the two answers agree only for the letters themselves, in either case.
QUORVANE_AVX2_INLINE __m256i Classes(__m256i bytes, __m256i byLow, __m256i byHigh)
{
    const __m256i low = _mm256_set1_epi8(0x0F);
    return _mm256_and_si256(
        _mm256_shuffle_epi8(byLow, _mm256_and_si256(bytes, low)),
        _mm256_shuffle_epi8(byHigh, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), low)));
}

// Bit k set when bytes[k] starts a candidate. Reads bytes[0] to bytes[33]. No branch: the time is
// the same whatever the bytes.
QUORVANE_AVX2_INLINE std::uint64_t CandidateMask32(const std::uint8_t *bytes)
{
    // d: DL|DR, t: TL, o: OC, s: SY; l: DL|TL, r: DR, c: OC, y: SY. The high halves 4 and 6 are
    // the column of d, o, l and c (upper and lower case); 5 and 7 that of t, s, r and y.
    const __m256i firstByLow =
        Twice(_mm_setr_epi8(0, 0, 0, 16, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8));
    const __m256i firstByHigh =
        Twice(_mm_setr_epi8(0, 0, 0, 0, 11, 20, 11, 20, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m256i secondByLow =
        Twice(_mm_setr_epi8(0, 0, 2, 8, 0, 0, 0, 0, 0, 16, 0, 0, 5, 0, 0, 0));
    const __m256i secondByHigh =
        Twice(_mm_setr_epi8(0, 0, 0, 0, 13, 18, 13, 18, 0, 0, 0, 0, 0, 0, 0, 0));
    const __m256i pairs = _mm256_and_si256(Classes(Load32(bytes + 1), firstByLow, firstByHigh),
                                           Classes(Load32(bytes + 2), secondByLow, secondByHigh));
    const __m256i points = _mm256_cmpeq_epi8(Load32(bytes), _mm256_set1_epi8('.'));
    const __m256i none = _mm256_cmpeq_epi8(pairs, _mm256_setzero_si256());
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(none, points)));
}

__attribute__((target("avx2"))) CandidateBlock
NextCandidatesAvx2(const std::uint8_t *bytes, std::size_t from, std::size_t limit)
{
    std::size_t at = from;
    for (; at + kBlock <= limit; at += kBlock) {
        const std::uint64_t mask = CandidateMask32(bytes + at) | CandidateMask32(bytes + at + 32)
                                                                     << 32;
        if (mask != 0) {
            return {at, mask};
        }
    }
    return Tail(bytes, at, limit);
}

#endif

} // namespace

CandidateBlock NextCandidatesPortable(const std::uint8_t *bytes, std::size_t from,
                                      std::size_t limit)
{
    for (std::size_t at = from; at < limit; at += kBlock) {
        const CandidateBlock block = Tail(bytes, at, std::min(limit, at + kBlock));
        if (block.mask != 0) {
            return block;
        }
    }
    return {limit, 0};
}

#ifdef QUORVANE_HAVE_SSE2
CandidateSearch CandidateSearchSse2()
{
    return NextCandidatesSse2;
}
#else
CandidateSearch CandidateSearchSse2()
{
    return nullptr;
}
#endif

#ifdef QUORVANE_HAVE_AVX2
CandidateSearch CandidateSearchAvx2()
{
    return __builtin_cpu_supports("avx2") ? NextCandidatesAvx2 : nullptr;
}
#else
CandidateSearch CandidateSearchAvx2()
{
    return nullptr;
}
#endif

CandidateBlock NextCandidates(const std::uint8_t *bytes, std::size_t from, std::size_t limit)
{
    static const CandidateSearch search = [] {
        if (const CandidateSearch avx2 = CandidateSearchAvx2()) {
            return avx2;
        }
        if (const CandidateSearch sse2 = CandidateSearchSse2()) {
            return sse2;
        }
        return NextCandidatesPortable;
    }();
    return search(bytes, from, limit);
}

} // namespace quorvane
