// The function readers of the import and delay-load tables over any bytes: no crash, no read
// outside them, the same answer in memory and through the file's page cache, and never a success
// where the name reader of the same table fails or lists other DLLs.
#include "ReaderFuzz.h"
#include "core/pe/modDelayImports.h"
#include "core/pe/modPEFunctions.h"

namespace {

using namespace quorvane;

bool Same(const ImportFunctions &a, const ImportFunctions &b)
{
    if (a.table != b.table || a.outcome != b.outcome || a.dlls.size() != b.dlls.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.dlls.size(); ++i) {
        const ImportedDll &x = a.dlls[i];
        const ImportedDll &y = b.dlls[i];
        if (x.name != y.name || x.delayLoaded != y.delayLoaded ||
            x.functions.size() != y.functions.size()) {
            return false;
        }
        for (std::size_t k = 0; k < x.functions.size(); ++k) {
            const ImportedFunction &f = x.functions[k];
            const ImportedFunction &g = y.functions[k];
            if (f.name != g.name || f.hint != g.hint || f.ordinal != g.ordinal) {
                return false;
            }
        }
    }
    return true;
}

using FunctionReader = ImportFunctions (*)(const ByteSource &);

void Check(std::span<const std::uint8_t> bytes, FunctionReader read, fuzz::Reader readNames,
           bool delayLoaded)
{
    const ImportFunctions inMemory = read(MemorySource(bytes));
    fuzz::Require(inMemory.Ok() == (inMemory.Status() == kStatusImportsOk));
    fuzz::Require(inMemory.Ok() || inMemory.dlls.empty());
    if (inMemory.Ok()) {
        const ReaderResult names = readNames(MemorySource(bytes));
        fuzz::Require(names.Ok() && names.names.size() == inMemory.dlls.size());
        for (std::size_t i = 0; i < inMemory.dlls.size(); ++i) {
            const ImportedDll &dll = inMemory.dlls[i];
            fuzz::Require(dll.name == names.names[i] && dll.delayLoaded == delayLoaded);
            for (const ImportedFunction &f : dll.functions) {
                fuzz::Require(!f.ordinal || f.name.empty());
            }
        }
    }
    fuzz::Require(Same(read(fuzz::PagedMemory(bytes, 7, 1)), inMemory));
    fuzz::Require(Same(read(fuzz::PagedMemory(bytes, 64, 3)), inMemory));
    const ImportFunctions shrunk = read(fuzz::PagedMemory(bytes, 64, 2, bytes.size() / 2, 2));
    fuzz::Require(!shrunk.Ok() || Same(shrunk, inMemory));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    Check(bytes, &ReadImportFunctions, &ReadImportNames, false);
    Check(bytes, &ReadDelayImportFunctions, &ReadDelayImportNames, true);
    return 0;
}
