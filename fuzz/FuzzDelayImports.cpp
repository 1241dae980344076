// The delay-load import reader over any bytes: no crash, no read outside them, the same answer in
// memory and through the file's page cache. Its table holds RVAs or, in the old layout, addresses
// in the loaded image, so the image base taken from the file is part of what is fuzzed.
#include "ReaderFuzz.h"
#include "core/pe/modDelayImports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return quorvane::fuzz::FuzzReader(data, size, &quorvane::ReadDelayImportNames,
                                      quorvane::kStatusImportsOk);
}
