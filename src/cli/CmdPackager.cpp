// quorvane-cli tree | report | bundle: the whole dependency closure of a program, the missing
// names of a folder of programs, and a folder with every DLL a program needs.
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/PackagerOutput.h"
#include "cli/Report.h"
#include "core/packager/Bundle.h"
#include "core/packager/FolderReport.h"

#include <algorithm>
#include <memory>
#include <ostream>

namespace quorvane {
namespace {

/// The options tree, report and bundle share: where DLLs are looked for.
struct SearchOptions {
    std::vector<std::string> searchDirs;
    std::optional<std::string> systemDir;
    std::optional<std::string> winePrefix;
    bool json = false;
    bool demangle = false;

    void AddTo(CLI::App &command);
    /// The search order, or nullopt with a one-line message on err.
    std::optional<SearchOrder> Order(std::ostream &err) const;
};

void SearchOptions::AddTo(CLI::App &command)
{
    // One folder per --search, so that "--search DIR FILE" never takes FILE for a folder.
    command
        .add_option("--search", searchDirs,
                    "A folder to look for DLLs in, after the program's own folder (repeat it "
                    "for more; they are searched in the order given)")
        ->allow_extra_args(false);
    auto *system = command.add_option(
        "--system-dir", systemDir,
        "The system folder, searched last (default: $QUORVANE_SYSTEM_DIR, else the Wine "
        "prefix's)");
    auto *wine = command.add_option("--wine-prefix", winePrefix,
                                    "A Wine prefix: its system32 for 64-bit programs, syswow64 "
                                    "for 32-bit ones (default: $WINEPREFIX, else ~/.wine)");
    system->excludes(wine);
    command.add_flag("--demangle", demangle,
                     "Show the decorated C++ names of missing functions readably");
    command.add_flag("--json", json, "Print one JSON document");
}

std::optional<SearchOrder> SearchOptions::Order(std::ostream &err) const
{
    std::string problem;
    auto order = SearchOrder::Make(searchDirs, systemDir, winePrefix, problem);
    if (!order) {
        err << "quorvane-cli: " << EscapeControls(problem) << '\n';
    }
    return order;
}

struct TreeOptions {
    SearchOptions search;
    ClosureView view;
    std::vector<std::string> files;
};

struct ReportOptions {
    SearchOptions search;
    std::optional<std::string> who;
    unsigned jobs = 0;
    std::string folder;
};

struct BundleOptions {
    SearchOptions search;
    std::string file;
    std::string to;
    bool force = false;
};

// Closures over one search order, sharing the folders read and the files parsed.
class Closures {
public:
    explicit Closures(const SearchOrder &order) : m_builder(order, m_folders, m_facts) {}
    ClosureResult Build(const std::string &path) { return m_builder.Build(path); }

private:
    FolderCache m_folders;
    PeFactsCache m_facts;
    ClosureBuilder m_builder;
};

// Adds a command that runs over the search order its options give (a folder that is not there is
// wrong usage); the caller adds the command's own options to what it returns.
template <typename Options>
std::pair<CLI::App *, std::shared_ptr<Options>>
AddSearchCommand(CLI::App &app, CommandContext &context, const std::string &name,
                 const std::string &description,
                 int (*run)(const Options &, const SearchOrder &, CommandContext &))
{
    auto options = std::make_shared<Options>();
    CLI::App *command = app.add_subcommand(name, description);
    options->search.AddTo(*command);
    command->callback([&context, options, run] {
        const auto order = options->search.Order(context.err);
        context.status = order ? run(*options, *order, context) : kExitUsage;
    });
    return {command, options};
}

int Tree(const TreeOptions &options, const SearchOrder &order, CommandContext &context)
{
    Closures closures(order);
    ClosureView view = options.view;
    view.demangle = options.search.demangle;
    nlohmann::json files = nlohmann::json::array();
    int status = kExitOk;
    bool first = true;
    for (const std::string &path : options.files) {
        const ClosureResult closure = closures.Build(path);
        status = std::max(status, ExitStatusOf(closure.Outcome()));
        if (options.search.json) {
            files.push_back(ClosureJson(closure, order, view));
            continue;
        }
        if (!first && closure.ok) {
            context.out << '\n';
        }
        first = first && !closure.ok;
        WritePlainClosure(context.out, context.err, closure, view);
    }
    if (options.search.json) {
        WriteJsonDocument(context.out, {{"command", "tree"},
                                        {"search_order", SearchOrderJson(order)},
                                        {"files", std::move(files)},
                                        {"exit_status", status}});
    }
    return status;
}

int Report(const ReportOptions &options, const SearchOrder &order, CommandContext &context)
{
    const FolderReportResult report = BuildFolderReport(
        options.folder, order, options.who, options.jobs ? options.jobs : DefaultThreadCount());
    int status = ExitStatusOf(report.Outcome());
    if (options.who && report.ok && report.damaged.empty() && report.who.empty()) {
        status = kExitMissing; // as grep: no file imports the name
    } else if (options.who && status == kExitMissing) {
        status = kExitOk; // the question was who imports it, not what is missing
    }
    if (options.search.json) {
        nlohmann::json doc =
            FolderReportJson(options.folder, report, options.who, options.search.demangle);
        doc["search_order"] = SearchOrderJson(order);
        doc["exit_status"] = status;
        WriteJsonDocument(context.out, doc);
    } else if (!report.ok) {
        context.err << EscapeControls(options.folder) << ": " << report.status << '\n';
    } else {
        WritePlainFolderReport(context.out, options.folder, report, options.who.has_value(),
                               options.search.demangle);
    }
    return status;
}

int Bundle(const BundleOptions &options, const SearchOrder &order, CommandContext &context)
{
    const ClosureResult closure = Closures(order).Build(options.file);
    BundleResult bundle;
    if (closure.ok) {
        bundle = BundleClosure(closure, options.to, options.force);
    } else {
        bundle.status = closure.status;
    }
    if (options.search.json) {
        WriteJsonDocument(context.out,
                          BundleJson(closure, bundle, options.to, order, options.search.demangle));
    } else if (!closure.ok) {
        context.err << EscapeControls(options.file) << ": " << closure.status << '\n';
    } else if (!bundle.ok) {
        context.err << EscapeControls(options.to) << ": " << EscapeControls(bundle.status) << '\n';
    } else {
        WritePlainBundle(context.out, closure, bundle, options.search.demangle);
    }
    return closure.ok ? ExitStatusOf(bundle.Outcome(closure)) : kExitUnreadable;
}

} // namespace

void AddTreeCommand(CLI::App &app, CommandContext &context)
{
    const auto [command, options] = AddSearchCommand<TreeOptions>(
        app, context, "tree",
        "The whole dependency closure of each file: what is missing and why, then where each DLL "
        "was found",
        Tree);
    command->add_flag("--missing-only", options->view.missingOnly, "Print only the missing names");
    command->add_flag("--tree", options->view.tree, "Print the closure as a tree");
    command->add_option("FILE", options->files, "PE files (EXE, DLL, OCX)")->required();
}

void AddReportCommand(CLI::App &app, CommandContext &context)
{
    const auto [command, options] = AddSearchCommand<ReportOptions>(
        app, context, "report",
        "Every PE file under a folder: the missing names, each with the files that need it",
        Report);
    command->add_option("--who", options->who, "List the files that import this DLL name");
    command->add_option("--jobs", options->jobs, "Files read at once (default: one per core)")
        ->check(CLI::Range(1u, 256u));
    command->add_option("DIR", options->folder, "The folder to read, with its subfolders")
        ->required();
}

void AddBundleCommand(CLI::App &app, CommandContext &context)
{
    const auto [command, options] = AddSearchCommand<BundleOptions>(
        app, context, "bundle",
        "Copy every DLL a program needs, except Windows' own, into a folder", Bundle);
    command->add_option("--to", options->to, "The folder to copy into (made if missing)")
        ->required();
    command->add_flag("--force", options->force,
                      "Replace a different file of the same name in the folder");
    command->add_option("FILE", options->file, "The program (EXE, DLL, OCX)")->required();
}

} // namespace quorvane
