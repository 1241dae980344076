#include "cli/EntryPointOutput.h"

#include "cli/FunctionListing.h"
#include "cli/Report.h"
#include "core/packager/DllHints.h"
#include "core/platform/PathRules.h"

#include <algorithm>
#include <ostream>

namespace quorvane {
namespace {

using nlohmann::json;

constexpr std::string_view kFaultNames[] = {"not_exported", "forwarder_dll_missing",
                                            "forwarder_loop", "bad_forwarder", "damaged_table"};

std::string Shown(const ImportedFunction &function, bool demangle)
{
    return function.ordinal ? FunctionLabel(function) : ShownName(function.name, demangle);
}

std::string ForwarderChain(const MissingEntryPoint &m)
{
    std::string chain;
    for (const std::string &forwarder : m.forwarders) {
        chain += (chain.empty() ? "" : " -> ") + forwarder;
    }
    return EscapeControls(chain);
}

// Why a forwarded function is missing; empty for a plain one, which the hint covers.
std::string ForwarderReason(const MissingEntryPoint &m)
{
    switch (m.fault) {
    case EntryPointFault::NotExported:
        return m.forwarders.empty() ? std::string()
                                    : "forwarded to " + ForwarderChain(m) + ", which " +
                                          EscapeControls(m.dll) + " does not export";
    case EntryPointFault::ForwarderDllMissing:
        return "forwarded to " + ForwarderChain(m) + ", but " + EscapeControls(m.dll) +
               " is in no folder";
    case EntryPointFault::ForwarderLoop:
        return "forwarded in a loop: " + ForwarderChain(m);
    case EntryPointFault::BadForwarder:
        return "forwarded to " + ForwarderChain(m) + ", which names no DLL and function";
    case EntryPointFault::DamagedTable:
        return "forwarded to " + ForwarderChain(m) + ", but the export table of " +
               EscapeControls(m.dll) + " is damaged";
    }
    return {};
}

std::string Hint(const MissingFunctions &functions, const std::string &importer)
{
    if (HintForDependency(functions.dllName).category == kHintSystem) {
        return functions.dllName + " is a Windows component: " + importer +
               " needs a newer Windows (or Wine) than the one whose system folder holds " +
               functions.dllPath;
    }
    if (std::all_of(functions.missing.begin(), functions.missing.end(),
                    [](const MissingEntryPoint &m) { return !m.forwarders.empty(); })) {
        return functions.dllPath + " forwards them to other DLLs, which do not provide them: " +
               "ship the DLLs it forwards to, in the builds it expects";
    }
    return functions.dllPath + " is another build of " + functions.dllName + " than the one " +
           importer + " was linked with: ship that build with the program (or relink the " +
           "program against this one)";
}

// One DLL's line, "NAME (CHAIN): f1, f2 [2 of 14 imports]", then its reasons and its hint.
void WriteEntry(std::ostream &out, const std::string &chain, const MissingFunctions &functions,
                bool delayLoaded, const std::string &importer, bool demangle)
{
    out << "  " << EscapeControls(functions.dllName) << " (" << chain << "): ";
    for (std::size_t i = 0; i < functions.missing.size(); ++i) {
        out << (i ? ", " : "") << EscapeControls(Shown(functions.missing[i].function, demangle));
    }
    out << " [" << functions.missing.size() << " of " << functions.imported << " imports]"
        << (delayLoaded ? " [delay-loaded]" : "") << '\n';
    for (const MissingEntryPoint &m : functions.missing) {
        if (const std::string reason = ForwarderReason(m); !reason.empty()) {
            out << "      " << EscapeControls(Shown(m.function, demangle)) << ": " << reason
                << '\n';
        }
    }
    out << "      " << EscapeControls(Hint(functions, importer)) << '\n';
}

json FunctionsJson(const MissingFunctions &functions, bool demangle)
{
    json list = json::array();
    for (const MissingEntryPoint &m : functions.missing) {
        json entry = json::object();
        if (m.function.ordinal) {
            entry["ordinal"] = *m.function.ordinal;
        } else {
            entry["name"] = m.function.name;
            if (demangle) {
                entry["demangled"] = ShownName(m.function.name, true);
            }
        }
        entry["reason"] = kFaultNames[static_cast<int>(m.fault)];
        entry["forwarders"] = m.forwarders;
        entry["at"] = m.dll;
        list.push_back(std::move(entry));
    }
    return list;
}

} // namespace

std::string MissingFunctionsCount(std::size_t count)
{
    if (count == 0) {
        return {};
    }
    return std::to_string(count) + " missing entry point" + (count == 1 ? "" : "s");
}

void WritePlainMissingFunctions(std::ostream &out, const ClosureResult &closure, bool demangle)
{
    if (closure.missingFunctions.empty()) {
        return;
    }
    out << "missing entry points:\n";
    for (const ClosureMissingFunctions &m : closure.missingFunctions) {
        std::string chain;
        for (const std::string &link : closure.ChainTo(m.importer)) {
            chain += EscapeControls(link) + " -> ";
        }
        chain += EscapeControls(m.functions.dllName);
        WriteEntry(out, chain, m.functions, m.delayLoaded, closure.modules[m.importer].name,
                   demangle);
    }
}

void WritePlainMissingFunctions(std::ostream &out, const FolderReportResult &report, bool demangle)
{
    if (report.missingFunctions.empty()) {
        return;
    }
    out << "missing entry points:\n";
    for (const ReportMissingFunctions &m : report.missingFunctions) {
        const std::string chain =
            EscapeControls(m.file) + " -> " + EscapeControls(m.functions.dllPath);
        WriteEntry(out, chain, m.functions, m.functions.delayLoaded,
                   std::string(FileNameOf(m.file)), demangle);
    }
}

void WritePlainIgnored(std::ostream &out, const std::vector<std::string> &ignored)
{
    if (ignored.empty()) {
        return;
    }
    out << "ignored (Windows loads its own copy of these, one of its KnownDLLs):\n";
    for (const std::string &path : ignored) {
        out << "  " << EscapeControls(path) << '\n';
    }
}

json MissingFunctionsJson(const ClosureResult &closure, bool demangle)
{
    static constexpr std::string_view kFoundIn[] = {"application", "search", "system"};
    json list = json::array();
    for (const ClosureMissingFunctions &m : closure.missingFunctions) {
        std::vector<std::string> chain = closure.ChainTo(m.importer);
        chain.push_back(m.functions.dllName);
        const std::string importer = closure.modules[m.importer].name;
        list.push_back({{"dll", m.functions.dllName},
                        {"path", m.functions.dllPath},
                        {"found_in", kFoundIn[static_cast<int>(closure.modules[m.dll].where)]},
                        {"importer", closure.modules[m.importer].path},
                        {"chain", std::move(chain)},
                        {"delay_loaded", m.delayLoaded},
                        {"imported", m.functions.imported},
                        {"functions", FunctionsJson(m.functions, demangle)},
                        {"hint", Hint(m.functions, importer)}});
    }
    return list;
}

json MissingFunctionsJson(const FolderReportResult &report, bool demangle)
{
    json list = json::array();
    for (const ReportMissingFunctions &m : report.missingFunctions) {
        list.push_back({{"file", m.file},
                        {"dll", m.functions.dllName},
                        {"path", m.functions.dllPath},
                        {"delay_loaded", m.functions.delayLoaded},
                        {"imported", m.functions.imported},
                        {"functions", FunctionsJson(m.functions, demangle)},
                        {"hint", Hint(m.functions, std::string(FileNameOf(m.file)))}});
    }
    return list;
}

} // namespace quorvane
