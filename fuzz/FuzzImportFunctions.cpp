// The function readers of the import and delay-load tables over any bytes: the checks every reader
// target makes, and never a success where the name reader of the same table fails or lists other
// DLLs.
#include "ReaderFuzz.h"
#include "core/pe/modDelayImports.h"

namespace {

using namespace quorvane;

void Check(std::span<const std::uint8_t> bytes, ImportFunctions (*read)(const ByteSource &),
           ReaderResult (*readNames)(const ByteSource &), bool delayLoaded)
{
    const ImportFunctions r = fuzz::Checked(bytes, read, kStatusImportsOk);
    fuzz::Require(r.Ok() || r.dlls.empty());
    if (r.Ok()) {
        const ReaderResult names = readNames(MemorySource(bytes));
        fuzz::Require(names.Ok() && names.names.size() == r.dlls.size());
        for (std::size_t i = 0; i < r.dlls.size(); ++i) {
            fuzz::Require(r.dlls[i].name == names.names[i] && r.dlls[i].delayLoaded == delayLoaded);
            for (const ImportedFunction &f : r.dlls[i].functions) {
                fuzz::Require(!f.ordinal || f.name.empty());
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Check({data, size}, &ReadImportFunctions, &ReadImportNames, false);
    Check({data, size}, &ReadDelayImportFunctions, &ReadDelayImportNames, true);
    return 0;
}
