#pragma once

#include "core/packager/DependencyClosure.h"
#include "core/packager/FolderReport.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane {

/// The closure's missing entry points, after its missing DLLs: each DLL with the chain that needs
/// it, the functions it lacks, how many of the imports from it they are, why for those that are
/// forwarded, and a hint; "[delay-loaded]" when only a delay-loaded import needs them.
void WritePlainMissingFunctions(std::ostream &out, const ClosureResult &closure, bool demangle);
/// The same for a folder report, each DLL with the file that needs it.
void WritePlainMissingFunctions(std::ostream &out, const FolderReportResult &report, bool demangle);
/// Copies of Windows' KnownDLLs that Windows never loads; nothing when there are none.
void WritePlainIgnored(std::ostream &out, const std::vector<std::string> &ignored);

/// [{"dll", "path", "found_in", "importer", "chain", "delay_loaded", "imported", "functions",
/// "hint"}], each function {"name" or "ordinal", "reason", "forwarders", "at"}.
nlohmann::json MissingFunctionsJson(const ClosureResult &closure, bool demangle);
/// [{"file", "dll", "path", "delay_loaded", "imported", "functions", "hint"}].
nlohmann::json MissingFunctionsJson(const FolderReportResult &report, bool demangle);

/// "2 missing entry points", "" for none.
std::string MissingFunctionsCount(std::size_t count);

} // namespace quorvane
