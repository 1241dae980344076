#pragma once

#include "core/pe/modPEFunctions.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

/// A DLL's export table, with its names indexed when they are first looked up.
struct ExportIndex {
    ExportTable table;

    /// The export an import reaches: a name by exact, case-sensitive match; an ordinal inside the
    /// address table with a non-empty entry. nullptr when there is none.
    const ExportedFunction *Find(const ImportedFunction &function) const;

private:
    // Most DLLs of a folder are never asked for a name, or for a few: the index costs more than
    // it saves until a table is large.
    mutable std::unordered_map<std::string, std::size_t> m_byName; // the first entry of a name
    mutable bool m_indexed = false;
};

/// Export tables by path, each file's read once however often it is asked for.
class ExportTableCache {
public:
    const ExportIndex &Get(const std::string &path);
    /// Takes a table that was read with the rest of its file, unless the path's is known already.
    void Put(const std::string &path, ExportTable table);

private:
    std::unordered_map<std::string, ExportIndex> m_tables;
};

/// Why a DLL that is there does not provide an imported function.
enum class EntryPointFault {
    NotExported,         // no such name, or no entry at that ordinal (at the end of the forwarders)
    ForwarderDllMissing, // a forwarder leads to a DLL that no folder holds
    ForwarderLoop,       // the forwarders lead back to one already followed
    BadForwarder,        // a forwarder string that names no DLL and function
    DamagedTable,        // the export table of the DLL (or of a forwarder's DLL) cannot be read
};

/// One imported function that a DLL does not provide, and why.
struct MissingEntryPoint {
    ImportedFunction function;
    EntryPointFault fault = EntryPointFault::NotExported;
    /// The forwarder strings followed, in order ("libtarget.not_there").
    std::vector<std::string> forwarders;
    /// The DLL where the lookup ended: the one that lacks the function, the name of the one that
    /// is missing, or the one whose table is damaged.
    std::string dll;
};

/// Finds a forwarder's DLL, by the name the loader would look for (the forwarder's module part,
/// with ".dll" when it has no extension): the path of the file it would load, or nullopt.
using ForwarderDllLookup = std::function<std::optional<std::string>(const std::string &dllName)>;

/// The functions of an import from one DLL that the DLL at dllPath does not provide. An export
/// that forwards counts when its target does: the target DLL found through lookup, then its
/// export, further forwarders followed; one to an API-set contract counts as resolved by Windows.
std::vector<MissingEntryPoint> MissingEntryPoints(const std::string &dllPath,
                                                  const std::vector<ImportedFunction> &functions,
                                                  ExportTableCache &exports,
                                                  const ForwarderDllLookup &lookup);

/// How an imported function is written in lists: its name, or "#ORDINAL".
std::string FunctionLabel(const ImportedFunction &function);

/// The functions one file imports from one DLL that the DLL found for it does not provide.
struct MissingFunctions {
    std::string dllName;      // as the importer spells it
    std::string dllPath;      // the file found for it
    bool delayLoaded = false; // taken through the importer's delay-load table
    std::size_t imported = 0; // how many functions the importer takes from the DLL that way
    std::vector<MissingEntryPoint> missing;
};

/// An export table that could not be read, met while checking functions.
struct DamagedExports {
    std::string path;
    std::string status;
};

/// The path of the file found for a DLL name, or nullptr when none was (a missing DLL is reported
/// as such). The path must outlive the check.
using FoundDllLookup = std::function<const std::string *(const std::string &dllName)>;

/// Checks every function a file imports (both import tables, as ReadAllImportFunctions gives
/// them) against the DLLs found for it: one entry for each DLL (letter case ignored) and table
/// that lacks some. A DLL whose own export table is damaged is not checked but added to damaged,
/// as is one met behind a forwarder.
std::vector<MissingFunctions> CheckImportedFunctions(const std::vector<ImportedDll> &dlls,
                                                     const FoundDllLookup &found,
                                                     ExportTableCache &exports,
                                                     const ForwarderDllLookup &lookup,
                                                     std::vector<DamagedExports> &damaged);

} // namespace quorvane
