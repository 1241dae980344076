#pragma once

#include "core/pe/modPEFunctions.h"

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// One file's functions as imports --functions or exports --all read them.
struct FunctionFile {
    std::string path;
    ImportFunctions imports; // for imports --functions
    ExportTable exports;     // for exports --all
};

/// How a function name is shown: as stored, or demangled.
std::string ShownName(std::string_view name, bool demangle);

/// imports --functions: each DLL (marked "[delay-loaded]" from the delay-load table), then its
/// functions indented by one tab more, "NAME (hint N)" or "#ORDINAL". Several files as the plain
/// readers print them: under a "FILE:" line, one tab deeper. A file whose tables cannot be read
/// prints "FILE: STATUS" on err.
void WritePlainImportFunctions(std::ostream &out, std::ostream &err,
                               const std::vector<FunctionFile> &files, bool demangle);
/// exports --all: one line per export, "#ORDINAL NAME TARGET" in aligned columns, the name
/// "(no name)" for an export by ordinal only, the target "0xRVA" or "-> FORWARDER".
void WritePlainExportTable(std::ostream &out, std::ostream &err,
                           const std::vector<FunctionFile> &files, bool demangle);

/// {"path", "ok", "status", "dlls": [{"name", "delay_loaded", "functions": [{"name", "hint"} or
/// {"ordinal"}]}]}, each named function with "demangled" when asked for.
nlohmann::json ImportFunctionsJson(const FunctionFile &file, bool demangle);
/// {"path", "ok", "status", "ordinal_base", "exports": [{"ordinal", "name" (null when none),
/// "rva" or "forwarder"}]}, each named export with "demangled" when asked for.
nlohmann::json ExportTableJson(const FunctionFile &file, bool demangle);

} // namespace quorvane
