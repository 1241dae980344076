// The import reader over any bytes: no crash, no read outside them, the same answer in memory and
// through the file's page cache.
#include "ReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return quorvane::fuzz::FuzzReader(data, size, &quorvane::ReadImportNames,
                                      quorvane::kStatusImportsOk);
}
