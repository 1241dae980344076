// The export table reader over any bytes: the checks every reader target makes, entries in the
// order it promises, and never a success where the export name reader fails or reads other names.
// Every name also goes through the demangler, which must come back from any text.
#include "ReaderFuzz.h"
#include "core/pe/Demangle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quorvane;
    using fuzz::Require;
    const std::span<const std::uint8_t> bytes(data, size);
    const ExportTable table = fuzz::Checked(bytes, &ReadExportTable, kStatusExportsOk);
    Require(table.Ok() || table.functions.empty());
    std::vector<std::string> named;
    for (std::size_t i = 0; i < table.functions.size(); ++i) {
        const ExportedFunction &f = table.functions[i];
        Require(f.index < table.addressCount);
        Require(f.ordinal == static_cast<std::uint32_t>(table.ordinalBase + f.index));
        Require(i == 0 || table.functions[i - 1].index <= f.index);
        Require(f.name || f.rva != 0); // an empty entry without a name is left out
        Require(f.rva == 0 || f.forwarder || table.ByOrdinal(f.ordinal) != nullptr);
        if (f.name) {
            named.push_back(*f.name);
            Require(!Demangle(*f.name).empty() || f.name->empty());
        }
    }
    if (table.Ok()) {
        ReaderResult names = ReadExportNames(MemorySource(bytes));
        std::sort(named.begin(), named.end());
        std::sort(names.names.begin(), names.names.end());
        Require(names.Ok() && named == names.names);
    }
    return 0;
}
