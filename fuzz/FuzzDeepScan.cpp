// The deep scan against its literal, step-by-step reference: any difference in the names or their
// order is a finding. The fast scan also runs over the same bytes read in small pieces, so that
// names, extensions and runs of name characters fall across the seams between pieces.
//
// The reference cleans each name text with the program's CleanFilename: std::regex would take time
// in the square of a long run of name characters, once for every name in it, and overrun the time
// limit on its own. fuzz_cleanfilename holds the two cleaners equal.
//
// Input: one byte whose low five bits tick the file types, one byte for the piece size (1 to 256),
// then the contents (at most 4 KiB: the reference is quadratic).
#include "core/scan/DeepScan.h"
#include "core/scan/DeepScanReference.h"
#include "core/scan/modCleanFilename.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t kMaxContents = 4096;
    if (size < 2 || size - 2 > kMaxContents) {
        return 0;
    }
    std::array<bool, 5> ticked{};
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        ticked[i] = (data[0] >> i) & 1;
    }
    const std::size_t pieceSize = std::size_t{data[1]} + 1;
    const std::span<const std::uint8_t> contents(data + 2, size - 2);

    const auto expected = quorvane::reference::DeepScan(
        std::string_view(reinterpret_cast<const char *>(contents.data()), contents.size()), ticked,
        [](const std::string &text) { return quorvane::CleanFilename(text); });
    for (const std::size_t piece : {quorvane::kDeepScanChunkSize, pieceSize}) {
        const auto found =
            quorvane::ScanSourceContents(quorvane::MemorySource(contents), ticked, nullptr, piece);
        if (found.scratch != expected.scratch || found.dependencies != expected.dependencies) {
            std::fprintf(stderr, "deep scan differs from the reference (pieces of %zu)\n", piece);
            std::abort();
        }
    }
    return 0;
}
