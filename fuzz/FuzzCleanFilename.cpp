// CleanFilename against std::regex with the name pattern (ECMAScript, ignore case, every match):
// any difference is a finding. Inputs stay short because std::regex recurses per character.
#include "core/scan/DeepScanReference.h"
#include "core/scan/modCleanFilename.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t kMaxText = 512;
    if (size > kMaxText) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char *>(data), size);
    if (quorvane::CleanFilename(text) != quorvane::reference::CleanFilename(text)) {
        std::fprintf(stderr, "CleanFilename differs from std::regex\n");
        std::abort();
    }
    return 0;
}
