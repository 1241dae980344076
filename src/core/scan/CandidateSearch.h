#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvane {

// Where a name's extension may start: a point followed by DL, DR, OC, SY or TL, in either case.
// The scan looks closely at every such place and skips everything else, so its speed is that of
// this search. Section names such as ".text" and ".data" are not candidates.

/// The positions one CandidateBlock stands for.
inline constexpr std::size_t kCandidateBlockSize = 64;

/// Up to 64 positions from at on: bit k of mask is set when at + k is a candidate.
struct CandidateBlock {
    std::size_t at = 0;
    std::uint64_t mask = 0;
};

/// The first block of candidates in [from, limit): no position in [from, at) is a candidate, and
/// every bit of mask stands for a position below limit. mask is 0 when there is none. Reads
/// bytes[from] to bytes[limit + 1]: the caller holds the two bytes after limit. The fastest variant
/// the processor offers.
CandidateBlock NextCandidates(const std::uint8_t *bytes, std::size_t from, std::size_t limit);

/// The same, byte by byte, and each vector variant the build holds (nullptr when it holds none, or
/// the processor lacks it); for tests that hold the variants to the plain one.
using CandidateSearch = CandidateBlock (*)(const std::uint8_t *, std::size_t, std::size_t);
CandidateBlock NextCandidatesPortable(const std::uint8_t *bytes, std::size_t from,
                                      std::size_t limit);
CandidateSearch CandidateSearchSse2();
CandidateSearch CandidateSearchAvx2();

} // namespace quorvane
