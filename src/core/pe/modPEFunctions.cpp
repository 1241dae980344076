#include "core/pe/modPEFunctions.h"

#include "core/pe/Ansi.h"
#include "core/pe/FileBytes.h"
#include "core/pe/modDelayImports.h"
#include "core/pe/modPETables.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace quorvane {
namespace {

constexpr std::uint64_t kImportDescriptorSize = 20;
constexpr std::uint64_t kImportLookupTableOffset = 0;
constexpr std::uint64_t kImportNameOffset = 12;
constexpr std::uint64_t kImportAddressTableOffset = 16;
constexpr std::uint64_t kDelayDescriptorSize = 32;
constexpr std::uint64_t kDelayNameOffset = 4;
constexpr std::uint64_t kDelayNameTableOffset = 16;
constexpr std::uint64_t kExportDirectorySize = 40;
constexpr std::uint64_t kExportOrdinalBaseOffset = 16;
constexpr std::uint64_t kExportAddressCountOffset = 20;
constexpr std::uint64_t kExportNameCountOffset = 24;
constexpr std::uint64_t kExportAddressTableOffset = 28;
constexpr std::uint64_t kExportNamePointersOffset = 32;
constexpr std::uint64_t kExportNameOrdinalsOffset = 36;
constexpr std::size_t kAddressChunk = 1024; // address table entries read at once

// What a reader may still keep: the text it read plus kEntryBytes for each entry it keeps.
class Budget {
public:
    bool TakeText(std::uint64_t bytes)
    {
        m_used += bytes;
        return m_used <= kMaxNameBytes;
    }
    bool TakeEntry() { return TakeText(kEntryBytes); }
    std::uint64_t Left() const { return m_used < kMaxNameBytes ? kMaxNameBytes - m_used : 0; }

private:
    std::uint64_t m_used = 0;
};

// The zero-terminated text at an RVA, converted to UTF-8 and taken from the budget; a text longer
// than what the budget has left is never read whole.
std::optional<std::string> TextAt(const PeImage &image, std::uint64_t rva, Budget &budget)
{
    const auto offset = image.RvaToOffset(rva);
    if (!offset) {
        return std::nullopt;
    }
    const auto raw = image.Bytes().ReadCString(*offset, budget.Left());
    if (!raw || !budget.TakeText(raw->size())) {
        return std::nullopt;
    }
    return AnsiToUtf8(*raw);
}

template <typename Result> Result Failure(PeTable table, ReaderOutcome outcome)
{
    Result r;
    r.table = table;
    r.outcome = outcome;
    return r;
}

// Reads a lookup table, up to its first zero entry: imports by ordinal (the top bit set) and by
// name (the RVA of a hint and a name, as toRva turns the entry into one). False on any fault.
template <typename ToRva>
bool ReadThunks(const PeImage &image, std::uint64_t tableRva, ToRva toRva, Budget &budget,
                std::vector<ImportedFunction> &functions)
{
    const bool wide = image.Kind() == PeKind::Pe32Plus;
    const std::uint64_t size = wide ? 8 : 4;
    const std::uint64_t ordinalFlag = wide ? 1ull << 63 : 1ull << 31;
    const ByteView &b = image.Bytes();
    const auto table = image.RvaToOffset(tableRva);
    if (!table) {
        return false;
    }
    for (std::uint64_t at = *table;; at += size) {
        const auto low = b.ReadU32(at);
        const auto high = wide ? b.ReadU32(at + 4) : std::optional<std::uint32_t>(0);
        if (!low || !high) {
            return false; // a table without its end stops at the end of the file, as damaged
        }
        const std::uint64_t thunk = (std::uint64_t{*high} << 32) | *low;
        if (thunk == 0) {
            return true;
        }
        if (!budget.TakeEntry()) {
            return false;
        }
        ImportedFunction function;
        if (thunk & ordinalFlag) {
            function.ordinal = static_cast<std::uint16_t>(thunk & 0xFFFF);
        } else {
            const auto rva = toRva(thunk);
            const auto entry = rva ? image.RvaToOffset(*rva) : std::nullopt;
            const auto hint = entry ? b.ReadU16(*entry) : std::nullopt;
            auto name = hint ? TextAt(image, *rva + 2, budget) : std::nullopt;
            if (!name) {
                return false;
            }
            function.hint = *hint;
            function.name = std::move(*name);
        }
        functions.push_back(std::move(function));
    }
}

ImportFunctions WalkImportFunctions(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::Import);
    if (!directory || directory->rva == 0) {
        return Failure<ImportFunctions>(PeTable::Imports, ReaderOutcome::NoTable);
    }
    const auto table = image.RvaToOffset(directory->rva);
    if (!table) {
        return Failure<ImportFunctions>(PeTable::Imports, ReaderOutcome::TableDamaged);
    }
    const ByteView &b = image.Bytes();
    const auto asRva = [](std::uint64_t thunk) { return std::optional<std::uint64_t>(thunk); };
    ImportFunctions result;
    Budget budget;
    // As ReadImportNames: the walk ends only at an entry whose Name RVA is zero.
    for (std::uint64_t entry = *table;; entry += kImportDescriptorSize) {
        const auto nameRva = b.ReadU32(entry + kImportNameOffset);
        if (!nameRva) {
            return Failure<ImportFunctions>(PeTable::Imports, ReaderOutcome::TableDamaged);
        }
        if (*nameRva == 0) {
            break;
        }
        const auto lookup = b.ReadU32(entry + kImportLookupTableOffset);
        const auto addresses = b.ReadU32(entry + kImportAddressTableOffset);
        auto name = TextAt(image, *nameRva, budget);
        if (!lookup || !addresses || !name || !budget.TakeEntry()) {
            return Failure<ImportFunctions>(PeTable::Imports, ReaderOutcome::TableDamaged);
        }
        ImportedDll dll;
        dll.name = std::move(*name);
        // Some linkers write no lookup table: the address table holds the same entries on disk.
        const std::uint32_t thunks = *lookup != 0 ? *lookup : *addresses;
        if (thunks != 0 && !ReadThunks(image, thunks, asRva, budget, dll.functions)) {
            return Failure<ImportFunctions>(PeTable::Imports, ReaderOutcome::TableDamaged);
        }
        result.dlls.push_back(std::move(dll));
    }
    result.outcome = ReaderOutcome::Ok;
    return result;
}

ImportFunctions WalkDelayImportFunctions(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::DelayImport);
    if (!directory || directory->rva == 0) {
        return Failure<ImportFunctions>(PeTable::DelayImports, ReaderOutcome::NoTable);
    }
    const auto table = image.RvaToOffset(directory->rva);
    if (!table) {
        return Failure<ImportFunctions>(PeTable::DelayImports, ReaderOutcome::TableDamaged);
    }
    const ByteView &b = image.Bytes();
    ImportFunctions result;
    result.table = PeTable::DelayImports;
    Budget budget;
    for (std::uint64_t entry = *table;; entry += kDelayDescriptorSize) {
        const auto attributes = b.ReadU32(entry);
        const auto nameField = b.ReadU32(entry + kDelayNameOffset);
        if (!attributes || !nameField) {
            return Failure<ImportFunctions>(PeTable::DelayImports, ReaderOutcome::TableDamaged);
        }
        if (*nameField == 0) {
            break;
        }
        const auto nameTable = b.ReadU32(entry + kDelayNameTableOffset);
        const auto nameRva = DelayTableRva(image, *attributes, *nameField);
        auto name = nameRva ? TextAt(image, *nameRva, budget) : std::nullopt;
        if (!nameTable || !name || !budget.TakeEntry()) {
            return Failure<ImportFunctions>(PeTable::DelayImports, ReaderOutcome::TableDamaged);
        }
        ImportedDll dll;
        dll.name = std::move(*name);
        dll.delayLoaded = true;
        const auto toRva = [&image, attributes](std::uint64_t thunk) {
            return DelayTableRva(image, *attributes, thunk);
        };
        // Without a name table only the address table is left, and it holds code addresses.
        if (*nameTable != 0) {
            const auto tableRva = toRva(*nameTable);
            if (!tableRva || !ReadThunks(image, *tableRva, toRva, budget, dll.functions)) {
                return Failure<ImportFunctions>(PeTable::DelayImports, ReaderOutcome::TableDamaged);
            }
        }
        result.dlls.push_back(std::move(dll));
    }
    result.outcome = ReaderOutcome::Ok;
    return result;
}

struct NamedIndex {
    std::uint32_t index;
    std::string name;
};

ExportTable WalkExportTable(const PeImage &image)
{
    const auto directory = image.Directory(DataDirectoryIndex::Export);
    if (!directory || directory->rva == 0) {
        return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::NoTable);
    }
    const ByteView &b = image.Bytes();
    const auto table = image.RvaToOffset(directory->rva);
    if (!table || !b.Contains(*table, kExportDirectorySize)) {
        return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
    }
    const auto base = b.ReadU32(*table + kExportOrdinalBaseOffset);
    const auto count = b.ReadU32(*table + kExportAddressCountOffset);
    const auto nameCount = b.ReadU32(*table + kExportNameCountOffset);
    const auto addressesRva = b.ReadU32(*table + kExportAddressTableOffset);
    const auto namesRva = b.ReadU32(*table + kExportNamePointersOffset);
    const auto ordinalsRva = b.ReadU32(*table + kExportNameOrdinalsOffset);
    if (!base || !count || !nameCount || !addressesRva || !namesRva || !ordinalsRva) {
        return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
    }
    ExportTable result;
    result.ordinalBase = *base;
    result.addressCount = *count;
    Budget budget;

    // The names first, each with the address table entry it names. Every table must lie inside
    // the file as a whole: a count read from the file sizes nothing, it is only checked.
    std::vector<NamedIndex> named;
    if (*nameCount > 0) {
        const auto names = image.RvaToOffset(*namesRva);
        const auto ordinals = image.RvaToOffset(*ordinalsRva);
        if (!names || !ordinals || !b.Contains(*names, 4ull * *nameCount) ||
            !b.Contains(*ordinals, 2ull * *nameCount)) {
            return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
        }
        for (std::uint64_t k = 0; k < *nameCount; ++k) {
            const auto nameRva = b.ReadU32(*names + 4 * k);
            const auto index = b.ReadU16(*ordinals + 2 * k);
            // A name whose entry lies outside the address table names nothing the loader can
            // find: the table contradicts itself.
            if (!nameRva || !index || *index >= *count) {
                return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
            }
            auto name = TextAt(image, *nameRva, budget);
            if (!name || !budget.TakeEntry()) {
                return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
            }
            named.push_back({*index, std::move(*name)});
        }
        std::stable_sort(named.begin(), named.end(), [](const NamedIndex &x, const NamedIndex &y) {
            return x.index < y.index;
        });
    }

    const auto addresses =
        *count > 0 ? image.RvaToOffset(*addressesRva) : std::optional<std::uint64_t>(0);
    if (!addresses || !b.Contains(*addresses, 4ull * *count)) {
        return Failure<ExportTable>(PeTable::Exports,
                                    ReaderOutcome::TableDamaged); // an export count past the table
    }
    const std::uint64_t forwardersBegin = directory->rva;
    const std::uint64_t forwardersEnd = forwardersBegin + directory->size;
    auto nextName = named.begin();
    std::array<std::uint8_t, 4 * kAddressChunk> chunk{};
    for (std::uint64_t first = 0; first < *count; first += kAddressChunk) {
        const auto inChunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(kAddressChunk, *count - first));
        if (!b.Read(*addresses + 4 * first, std::span(chunk).first(4 * inChunk))) {
            return Failure<ExportTable>(PeTable::Exports,
                                        ReaderOutcome::TableDamaged); // the file shrank
        }
        for (std::size_t i = 0; i < inChunk; ++i) {
            const auto index = static_cast<std::uint32_t>(first + i);
            const std::uint32_t rva = static_cast<std::uint32_t>(chunk[4 * i]) |
                                      (static_cast<std::uint32_t>(chunk[4 * i + 1]) << 8) |
                                      (static_cast<std::uint32_t>(chunk[4 * i + 2]) << 16) |
                                      (static_cast<std::uint32_t>(chunk[4 * i + 3]) << 24);
            const bool hasName = nextName != named.end() && nextName->index == index;
            if (rva == 0 && !hasName) {
                continue;
            }
            ExportedFunction function;
            function.ordinal = *base + index; // modulo 2^32, as the loader subtracts the base
            function.index = index;
            function.rva = rva;
            if (rva != 0 && rva >= forwardersBegin && rva < forwardersEnd) {
                function.forwarder = TextAt(image, rva, budget);
                if (!function.forwarder) {
                    return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
                }
            }
            // One entry per name of the address table entry, each with its own copy of the
            // forwarder; the first copy was taken from the budget as it was read.
            bool firstCopy = true;
            do {
                if (hasName) {
                    function.name = std::move(nextName->name);
                    ++nextName;
                }
                const std::uint64_t copied =
                    function.forwarder && !firstCopy ? function.forwarder->size() : 0;
                if (!budget.TakeEntry() || !budget.TakeText(copied)) {
                    return Failure<ExportTable>(PeTable::Exports, ReaderOutcome::TableDamaged);
                }
                firstCopy = false;
                result.functions.push_back(function);
            } while (nextName != named.end() && nextName->index == index);
        }
    }
    result.outcome = ReaderOutcome::Ok;
    return result;
}

ImportFunctions WalkAllImportFunctions(const PeImage &image)
{
    ImportFunctions imports = WalkImportFunctions(image);
    const bool noImports = imports.outcome == ReaderOutcome::NoTable;
    if (!imports.Ok() && !noImports) {
        return imports;
    }
    ImportFunctions delayed = WalkDelayImportFunctions(image);
    if (!delayed.Ok() && delayed.outcome != ReaderOutcome::NoTable) {
        return delayed;
    }
    if (noImports && !delayed.Ok()) {
        return imports; // neither table: no dependencies
    }
    imports.outcome = ReaderOutcome::Ok;
    std::move(delayed.dlls.begin(), delayed.dlls.end(), std::back_inserter(imports.dlls));
    return imports;
}

template <typename Result, typename Walk> Result FromSource(const ByteSource &bytes, Walk walk)
{
    const auto image = PeImage::Parse(bytes);
    if (!image) {
        return Failure<Result>(Result{}.table, ReaderOutcome::NotPe);
    }
    return walk(*image);
}

template <typename Result, typename Walk> Result FromPath(const std::string &path, Walk walk)
{
    const auto file = FileBytes::Open(path); // released on every path by its destructor
    if (!file) {
        return Failure<Result>(Result{}.table, ReaderOutcome::NotPe);
    }
    return FromSource<Result>(*file, walk);
}

} // namespace

const ExportedFunction *ExportTable::ByOrdinal(std::uint32_t ordinal) const
{
    const std::uint32_t index = ordinal - ordinalBase; // modulo 2^32, as the loader computes it
    if (index >= addressCount) {
        return nullptr;
    }
    const auto at =
        std::lower_bound(functions.begin(), functions.end(), index,
                         [](const ExportedFunction &f, std::uint32_t i) { return f.index < i; });
    if (at == functions.end() || at->index != index || at->rva == 0) {
        return nullptr;
    }
    return &*at;
}

ImportFunctions ReadImportFunctions(const PeImage &image)
{
    return WalkImportFunctions(image);
}

ImportFunctions ReadDelayImportFunctions(const PeImage &image)
{
    return WalkDelayImportFunctions(image);
}

ExportTable ReadExportTable(const PeImage &image)
{
    return WalkExportTable(image);
}

ImportFunctions ReadAllImportFunctions(const PeImage &image)
{
    return WalkAllImportFunctions(image);
}

ImportFunctions ReadAllImportFunctions(const ByteSource &bytes)
{
    return FromSource<ImportFunctions>(bytes, WalkAllImportFunctions);
}

ImportFunctions ReadAllImportFunctions(const std::string &path)
{
    return FromPath<ImportFunctions>(path, WalkAllImportFunctions);
}

ExportTable ReadExportTable(const std::string &path)
{
    return FromPath<ExportTable>(path, WalkExportTable);
}

ImportFunctions ReadImportFunctions(const ByteSource &bytes)
{
    return FromSource<ImportFunctions>(bytes, WalkImportFunctions);
}

ImportFunctions ReadDelayImportFunctions(const ByteSource &bytes)
{
    return FromSource<ImportFunctions>(bytes, WalkDelayImportFunctions);
}

ExportTable ReadExportTable(const ByteSource &bytes)
{
    return FromSource<ExportTable>(bytes, WalkExportTable);
}

} // namespace quorvane
