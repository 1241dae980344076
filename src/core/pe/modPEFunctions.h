#pragma once

#include "core/pe/ByteView.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPETables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// Every entry a function reader keeps counts this many bytes against kMaxNameBytes on top of its
/// text, so that a table of millions of nameless entries is as bounded as one of long names.
inline constexpr std::uint64_t kEntryBytes = 32;

/// One function a file imports from a DLL: by name, with the hint the linker wrote (the index in
/// the DLL's name table it expected), or by ordinal.
struct ImportedFunction {
    std::string name;                     // empty for an import by ordinal
    std::uint16_t hint = 0;               // by name only
    std::optional<std::uint16_t> ordinal; // set for an import by ordinal
};

/// A DLL of an import table with the functions taken from it, in table order.
struct ImportedDll {
    std::string name;
    bool delayLoaded = false;
    std::vector<ImportedFunction> functions;
};

/// What a function reader of one import table found, with the outcomes of the name reader of the
/// same table. Only a walk that ended Ok produced a list.
struct ImportFunctions {
    PeTable table = PeTable::Imports;
    ReaderOutcome outcome = ReaderOutcome::NotPe;
    std::vector<ImportedDll> dlls;

    bool Ok() const { return outcome == ReaderOutcome::Ok; }
    std::string_view Status() const { return ReaderStatusText(table, outcome); }
};

/// The import directory table: each DLL up to the first entry whose Name RVA is zero (as
/// ReadImportNames), with the functions of its lookup table (of its address table when it has
/// none), up to the first zero entry.
ImportFunctions ReadImportFunctions(const PeImage &image);
/// The delay-load import table: each DLL as ReadDelayImportNames lists it, with the functions of
/// its name table. In the old layout (attribute bit 0 clear) the table's addresses, name table
/// entries included, are turned into RVAs by subtracting the image base.
ImportFunctions ReadDelayImportFunctions(const PeImage &image);

/// One entry of an export table. An entry with several names appears once per name.
struct ExportedFunction {
    std::uint32_t ordinal = 0;            // the ordinal base plus the entry's index, modulo 2^32
    std::uint32_t index = 0;              // the entry's place in the export address table
    std::optional<std::string> name;      // nullopt: exported by ordinal only
    std::uint32_t rva = 0;                // where the function is (0 for a named empty entry)
    std::optional<std::string> forwarder; // "NTDLL.RtlAllocateHeap": another DLL's function
};

/// What the export reader found, with the outcomes of ReadExportNames; the table is damaged when it
/// lies past the end of the file, a name or forwarder has no end, a name's entry lies outside the
/// address table, or the names pass kMaxNameBytes.
struct ExportTable {
    PeTable table = PeTable::Exports;
    ReaderOutcome outcome = ReaderOutcome::NotPe;
    std::uint32_t ordinalBase = 0;
    std::uint32_t addressCount = 0; // entries of the export address table, empty ones included
    /// By index, then in name table order; entries that are empty and have no name are left out.
    std::vector<ExportedFunction> functions;

    bool Ok() const { return outcome == ReaderOutcome::Ok; }
    std::string_view Status() const { return ReaderStatusText(table, outcome); }

    /// The entry an import by this ordinal reaches: inside the address table and not empty.
    const ExportedFunction *ByOrdinal(std::uint32_t ordinal) const;
};

/// Every export of the export table. An entry whose RVA lies inside the export directory's range
/// is a forwarder: its RVA holds the forwarder string, as the loader reads it.
ExportTable ReadExportTable(const PeImage &image);

/// Both import tables: the import table's DLLs, then the delay-load table's. Fails with the outcome
/// of the first table that is damaged; NoTable (imports) when the file has neither.
ImportFunctions ReadAllImportFunctions(const PeImage &image);

/// The same readers from bytes: NotPe when they are no PE image.
ImportFunctions ReadImportFunctions(const ByteSource &bytes);
ImportFunctions ReadDelayImportFunctions(const ByteSource &bytes);
ExportTable ReadExportTable(const ByteSource &bytes);
ImportFunctions ReadAllImportFunctions(const ByteSource &bytes);

/// The same readers over a file opened read-only.
ImportFunctions ReadAllImportFunctions(const std::string &path);
ExportTable ReadExportTable(const std::string &path);

} // namespace quorvane
