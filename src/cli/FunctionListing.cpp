#include "cli/FunctionListing.h"

#include "cli/Report.h"
#include "core/pe/Demangle.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace quorvane {
namespace {

using nlohmann::json;

// Past this width a long name pushes its own target to the right instead of every line's.
constexpr std::size_t kMaxNameColumn = 40;
constexpr std::string_view kNoName = "(no name)";

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// Writes each file that was read with write(file, indent), and the others' statuses on err.
template <typename Write>
void ForEachFile(std::ostream &out, std::ostream &err, const std::vector<FunctionFile> &files,
                 bool (*read)(const FunctionFile &, std::string &), Write write)
{
    const bool several = files.size() > 1;
    for (const FunctionFile &file : files) {
        std::string status;
        if (!read(file, status)) {
            err << EscapeControls(file.path) << ": " << status << '\n';
            continue;
        }
        if (several) {
            out << EscapeControls(file.path) << ":\n";
        }
        write(file, several ? "\t" : "");
    }
}

bool ImportsRead(const FunctionFile &file, std::string &status)
{
    status = file.imports.Status();
    return file.imports.Ok();
}

bool ExportsRead(const FunctionFile &file, std::string &status)
{
    status = file.exports.Status();
    return file.exports.Ok();
}

} // namespace

std::string ShownName(std::string_view name, bool demangle)
{
    return demangle ? Demangle(name) : std::string(name);
}

void WritePlainImportFunctions(std::ostream &out, std::ostream &err,
                               const std::vector<FunctionFile> &files, bool demangle)
{
    ForEachFile(out, err, files, ImportsRead, [&](const FunctionFile &file, std::string indent) {
        for (const ImportedDll &dll : file.imports.dlls) {
            out << indent << EscapeControls(dll.name) << (dll.delayLoaded ? " [delay-loaded]" : "")
                << '\n';
            for (const ImportedFunction &f : dll.functions) {
                out << indent << '\t';
                if (f.ordinal) {
                    out << '#' << *f.ordinal << '\n';
                } else {
                    out << EscapeControls(ShownName(f.name, demangle)) << " (hint " << f.hint
                        << ")\n";
                }
            }
        }
    });
}

void WritePlainExportTable(std::ostream &out, std::ostream &err,
                           const std::vector<FunctionFile> &files, bool demangle)
{
    ForEachFile(out, err, files, ExportsRead, [&](const FunctionFile &file, std::string indent) {
        struct Row {
            std::string ordinal;
            std::string name;
            std::string target;
        };
        std::vector<Row> rows;
        std::size_t ordinalWidth = 0;
        std::size_t nameWidth = 0;
        for (const ExportedFunction &f : file.exports.functions) {
            Row row{'#' + std::to_string(f.ordinal),
                    f.name ? EscapeControls(ShownName(*f.name, demangle)) : std::string(kNoName),
                    f.forwarder ? "-> " + EscapeControls(*f.forwarder) : Hex(f.rva)};
            ordinalWidth = std::max(ordinalWidth, row.ordinal.size());
            nameWidth = std::max(nameWidth, std::min(row.name.size(), kMaxNameColumn));
            rows.push_back(std::move(row));
        }
        for (const Row &row : rows) {
            out << indent << row.ordinal << std::string(ordinalWidth - row.ordinal.size() + 2, ' ')
                << row.name
                << std::string(row.name.size() < nameWidth ? nameWidth - row.name.size() + 2 : 2,
                               ' ')
                << row.target << '\n';
        }
    });
}

json ImportFunctionsJson(const FunctionFile &file, bool demangle)
{
    json dlls = json::array();
    for (const ImportedDll &dll : file.imports.dlls) {
        json functions = json::array();
        for (const ImportedFunction &f : dll.functions) {
            if (f.ordinal) {
                functions.push_back({{"ordinal", *f.ordinal}});
                continue;
            }
            json entry = {{"name", f.name}, {"hint", f.hint}};
            if (demangle) {
                entry["demangled"] = Demangle(f.name);
            }
            functions.push_back(std::move(entry));
        }
        dlls.push_back({{"name", dll.name},
                        {"delay_loaded", dll.delayLoaded},
                        {"functions", std::move(functions)}});
    }
    return {{"path", file.path},
            {"ok", file.imports.Ok()},
            {"status", file.imports.Status()},
            {"dlls", std::move(dlls)}};
}

json ExportTableJson(const FunctionFile &file, bool demangle)
{
    json exports = json::array();
    for (const ExportedFunction &f : file.exports.functions) {
        json entry = {{"ordinal", f.ordinal}, {"name", f.name ? json(*f.name) : json(nullptr)}};
        if (f.name && demangle) {
            entry["demangled"] = Demangle(*f.name);
        }
        if (f.forwarder) {
            entry["forwarder"] = *f.forwarder;
        } else {
            entry["rva"] = f.rva;
        }
        exports.push_back(std::move(entry));
    }
    json doc = {{"path", file.path}, {"ok", file.exports.Ok()}, {"status", file.exports.Status()}};
    if (file.exports.Ok()) {
        doc["ordinal_base"] = file.exports.ordinalBase;
    }
    doc["exports"] = std::move(exports);
    return doc;
}

} // namespace quorvane
