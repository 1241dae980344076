// The export table reader over any bytes: no crash, no read outside them, the same answer in
// memory and through the file's page cache, entries in the order it promises, and never a success
// where the export name reader fails or reads other names. Every name also goes through the
// demangler, which must come back from any text.
#include "ReaderFuzz.h"
#include "core/pe/Demangle.h"
#include "core/pe/modPEFunctions.h"

#include <algorithm>

namespace {

using namespace quorvane;

bool Same(const ExportTable &a, const ExportTable &b)
{
    if (a.table != b.table || a.outcome != b.outcome || a.functions.size() != b.functions.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.functions.size(); ++i) {
        const ExportedFunction &x = a.functions[i];
        const ExportedFunction &y = b.functions[i];
        if (x.ordinal != y.ordinal || x.index != y.index || x.name != y.name || x.rva != y.rva ||
            x.forwarder != y.forwarder) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const ExportTable table = ReadExportTable(MemorySource(bytes));
    fuzz::Require(table.Ok() == (table.Status() == kStatusExportsOk));
    fuzz::Require(table.Ok() || table.functions.empty());

    std::vector<std::string> named;
    for (std::size_t i = 0; i < table.functions.size(); ++i) {
        const ExportedFunction &f = table.functions[i];
        fuzz::Require(f.index < table.addressCount);
        fuzz::Require(f.ordinal == static_cast<std::uint32_t>(table.ordinalBase + f.index));
        fuzz::Require(i == 0 || table.functions[i - 1].index <= f.index);
        fuzz::Require(f.name || f.rva != 0); // an empty entry without a name is left out
        if (f.rva != 0 && !f.forwarder) {
            fuzz::Require(table.ByOrdinal(f.ordinal) != nullptr);
        }
        if (f.name) {
            named.push_back(*f.name);
            fuzz::Require(!Demangle(*f.name).empty() || f.name->empty());
        }
    }
    if (table.Ok()) {
        ReaderResult names = ReadExportNames(MemorySource(bytes));
        fuzz::Require(names.Ok());
        std::sort(named.begin(), named.end());
        std::sort(names.names.begin(), names.names.end());
        fuzz::Require(named == names.names);
    }

    fuzz::Require(Same(ReadExportTable(fuzz::PagedMemory(bytes, 7, 1)), table));
    fuzz::Require(Same(ReadExportTable(fuzz::PagedMemory(bytes, 64, 3)), table));
    const ExportTable shrunk = ReadExportTable(fuzz::PagedMemory(bytes, 64, 2, size / 2, 2));
    fuzz::Require(!shrunk.Ok() || Same(shrunk, table));
    return 0;
}
