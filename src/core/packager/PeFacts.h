#pragma once

#include "core/pe/ByteView.h"
#include "core/pe/PeImage.h"
#include "core/pe/modPEFunctions.h"
#include "core/pe/modPETables.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

/// What the packager's tools need to know of one file: whether it is a PE image, for which machine,
/// the DLL names it needs at start (imports) and on first use (delay-load imports), and the
/// functions it takes from them.
struct PeFacts {
    bool startsWithMz = false; // looks like an executable at all (the report skips other files)
    std::uint16_t machine = 0;
    PeKind kind = PeKind::Pe32;
    bool tablesRead = false;
    std::vector<std::string> imports;      // in table order
    std::vector<std::string> delayImports; // in table order
    std::vector<ImportedDll> functions;    // both tables' DLLs with the functions taken from them
    ExportTable exports; // what it provides to others; a damaged one is no problem of the file's
    /// How the reading went: Ok when everything asked for was read; NotPe when the headers could
    /// not be read; else the first failure of a table walk, in failedTable. A damaged table leaves
    /// its list empty: it never reads as "no dependencies".
    ReaderOutcome outcome = ReaderOutcome::NotPe;
    PeTable failedTable = PeTable::Imports;

    /// The headers were read: machine and kind are known.
    bool Readable() const { return outcome != ReaderOutcome::NotPe; }
    /// The status text of what failed; empty when nothing did.
    std::string_view Problem() const;
};

/// Reads the headers, and with withTables both import tables, from bytes.
PeFacts ReadPeFacts(const ByteSource &bytes, bool withTables);
/// The same from a file opened read-only, once for all of it.
PeFacts ReadPeFacts(const std::string &path, bool withTables);

/// A short name for a machine type: "x86", "x86-64", "ARM64", "ARM", "IA-64", else "machine
/// 0xNNNN".
std::string MachineName(std::uint16_t machine);
/// 32 or 64.
int BitsOf(PeKind kind);

/// Why a file of one machine cannot serve a file of another, as "it is 32-bit", "it is 64-bit" or
/// "it is for ARM64".
std::string MachineMismatch(const PeFacts &candidate, const PeFacts &importer);

/// Facts by path, each file read at most once (and again only to add the tables).
class PeFactsCache {
public:
    const PeFacts &Get(const std::string &path, bool withTables);
    /// Takes facts that were read elsewhere (by the report's worker threads).
    void Put(const std::string &path, PeFacts facts);

private:
    std::unordered_map<std::string, PeFacts> m_facts;
};

} // namespace quorvane
