#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QUORVANE_SCAN_SSE2 1
#endif

namespace quorvane {

/// The number of positions one CandidateMask call looks at.
inline constexpr std::size_t kCandidateBlock = 16;

// Bit k is set when bytes[k] is a point and bytes[k + 1] could begin one of the extensions' letters
// (D, O, S or T, in either case). Reads bytes[0] to bytes[16]. Almost every block of an ordinary
// file gives 0, so the scan's time is that of these few instructions per 16 bytes.
#ifdef QUORVANE_SCAN_SSE2

inline std::uint32_t CandidateMask(const std::uint8_t *bytes)
{
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
    const __m128i next = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 1)),
                                      _mm_set1_epi8(0x20));
    const __m128i points = _mm_cmpeq_epi8(here, _mm_set1_epi8('.'));
    const __m128i letters = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('d')),
                                                      _mm_cmpeq_epi8(next, _mm_set1_epi8('o'))),
                                         _mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('s')),
                                                      _mm_cmpeq_epi8(next, _mm_set1_epi8('t'))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_and_si128(points, letters)));
}

#else

inline std::uint32_t CandidateMask(const std::uint8_t *bytes)
{
    std::uint32_t mask = 0;
    for (unsigned k = 0; k < kCandidateBlock; ++k) {
        const unsigned next = bytes[k + 1] | 0x20u;
        if (bytes[k] == '.' && (next == 'd' || next == 'o' || next == 's' || next == 't')) {
            mask |= 1u << k;
        }
    }
    return mask;
}

#endif

} // namespace quorvane
