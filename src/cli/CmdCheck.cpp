// quorvane-cli check: the names the missing-dependency window would list.
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/DeepReport.h"
#include "cli/Report.h"
#include "core/check/MissingCheck.h"
#include "core/lists/ListFill.h"
#include "core/lists/ListOrder.h"
#include "core/pe/modPETables.h"
#include "core/platform/PathRules.h"
#include "core/platform/modSysFolder.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace quorvane {
namespace {

struct CheckOptions {
    bool json = false;
    bool deep = false;
    std::string types = std::string(kAllTypes);
    std::optional<std::string> systemDir;
    std::vector<std::string> files;
};

// The dependency list as the imports scan leaves it: the reader's names filled in by the list's
// rule and kept in the list's sorted order.
std::vector<std::string> DependencyList(const std::string &list)
{
    std::vector<std::string> names = FillListFromText(list);
    std::stable_sort(names.begin(), names.end(), DependencyListLess);
    return names;
}

// A folder given on the command line may end in a separator; the prefix adds its own.
std::string SystemFolderFrom(const std::optional<std::string> &systemDir)
{
    if (!systemDir) {
        return GetSystemFolder();
    }
    const std::string folder = WithoutTrailingSeparators(*systemDir);
    // The root: the prefix is the lone separator, as for the empty folder.
    return !folder.empty() && IsFolderSeparator(folder.back()) ? std::string() : folder;
}

// The check over the names the deep scan leaves in the dependency list.
FileReport CheckDeepScan(const std::string &path, const std::array<bool, 5> &ticked,
                         const std::string &sysPrefix)
{
    FileReport report = DeepScanReport(path, ticked);
    if (report.ok) {
        report.names = FindMissingNames(ApplicationPrefix(path), sysPrefix, report.names);
        report.exitStatus = report.names.empty() ? kExitOk : kExitMissing;
    }
    return report;
}

FileReport CheckFile(const std::string &path, const std::string &sysPrefix)
{
    FileReport report;
    report.path = path;
    std::string list;
    report.ok = GetImportList(path, list, report.status);
    if (!report.ok) {
        // The window would check the status text as if it were a name; a script needs to know
        // that the file was not read. A file that imports nothing simply needs nothing.
        report.exitStatus = report.status == kStatusNoImports ? kExitOk : kExitUnreadable;
        return report;
    }
    report.names = FindMissingNames(ApplicationPrefix(path), sysPrefix, DependencyList(list));
    report.exitStatus = report.names.empty() ? kExitOk : kExitMissing;
    return report;
}

} // namespace

void AddCheckCommand(CLI::App &app, CommandContext &context)
{
    auto options = std::make_shared<CheckOptions>();
    CLI::App *command = app.add_subcommand(
        "check", "List the dependencies found in neither the file's folder nor the system folder");
    command->add_option("--system-dir", options->systemDir,
                        "The system folder to search (default: $QUORVANE_SYSTEM_DIR, else "
                        "$WINEPREFIX/drive_c/windows/system32)");
    CLI::Option *deep =
        command->add_flag("--deep", options->deep,
                          "Check the names the Deep Scan finds instead of the import table's");
    AddTypesOption(*command, options->types)->needs(deep);
    command->add_flag("--json", options->json, "Print one JSON document");
    command->add_option("FILE", options->files, "PE files (EXE, DLL, OCX)")->required();
    command->callback([&context, options] {
        const std::string sysPrefix = SystemPrefix(SystemFolderFrom(options->systemDir));
        const std::array<bool, 5> ticked =
            TickedTypes(options->types).value_or(std::array<bool, 5>{});
        std::vector<FileReport> reports;
        for (const std::string &path : options->files) {
            reports.push_back(options->deep ? CheckDeepScan(path, ticked, sysPrefix)
                                            : CheckFile(path, sysPrefix));
        }
        if (options->json) {
            WriteJsonReports(context.out, "check", reports);
        } else {
            WritePlainReports(context.out, context.err, reports);
        }
        context.status = CombinedExitStatus(reports);
    });
}

} // namespace quorvane
