// quorvane-cli report: the missing names of a folder of programs, or who imports a name.
#include "cli/EntryPointOutput.h"
#include "cli/PackagerOutput.h"
#include "cli/Report.h"

#include <ostream>

namespace quorvane {

using nlohmann::json;

void WritePlainFolderReport(std::ostream &out, const std::string &folder,
                            const FolderReportResult &report, bool whoOnly, bool demangle)
{
    if (whoOnly) {
        for (const ReportNeed &need : report.who) {
            out << EscapeControls(need.file) << Marks(need.delayLoaded, false) << '\n';
        }
        WritePlainDamaged(out, report.damaged);
        return;
    }
    out << EscapeControls(folder) << ": " << Count(report.peFiles, "PE file") << " of "
        << Count(report.filesSeen, "file") << "; " << Count(report.missing.size(), "missing name")
        << ", " << report.damaged.size() << " damaged";
    std::size_t lacking = 0;
    for (const ReportMissingFunctions &m : report.missingFunctions) {
        lacking += m.functions.missing.size();
    }
    if (lacking != 0) {
        out << ", " << MissingFunctionsCount(lacking);
    }
    out << '\n';
    if (!report.missing.empty()) {
        out << "missing:\n";
    }
    for (const ReportMissing &m : report.missing) {
        out << "  " << EscapeControls(m.name) << Marks(m.delayLoaded, false) << '\n';
        for (const ReportNeed &need : m.neededBy) {
            out << "      needed by " << EscapeControls(need.file) << Marks(need.delayLoaded, false)
                << '\n';
        }
        WriteMissingDetails(out, m.name, m.reason, m.rejected);
    }
    if (!report.apiSets.empty()) {
        out << "API-set contracts (Windows resolves them itself):\n";
        for (const std::string &name : report.apiSets) {
            out << "  " << EscapeControls(name) << '\n';
        }
    }
    WritePlainMissingFunctions(out, report, demangle);
    WritePlainIgnored(out, report.ignored);
    WritePlainDamaged(out, report.damaged);
}

json FolderReportJson(const std::string &folder, const FolderReportResult &report,
                      const std::optional<std::string> &who, bool demangle)
{
    const auto needs = [](const std::vector<ReportNeed> &list) {
        json array = json::array();
        for (const ReportNeed &need : list) {
            array.push_back({{"file", need.file}, {"delay_loaded", need.delayLoaded}});
        }
        return array;
    };
    json missing = json::array();
    for (const ReportMissing &m : report.missing) {
        json item = DependencyJson(m.name, needs(m.neededBy), m.delayLoaded);
        AddMissingJson(item, m.rejected, m.reason);
        missing.push_back(std::move(item));
    }
    json doc = {{"command", "report"},
                {"folder", folder},
                {"ok", report.ok},
                {"status", report.status},
                {"files_seen", report.filesSeen},
                {"pe_files", report.peFiles},
                {"missing", std::move(missing)},
                {"api_sets", report.apiSets},
                {"missing_entry_points", MissingFunctionsJson(report, demangle)},
                {"ignored", report.ignored},
                {"damaged", DamagedJson(report.damaged)}};
    if (who) {
        doc["who"] = {{"name", *who}, {"files", needs(report.who)}};
    }
    return doc;
}

} // namespace quorvane
