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

} // namespace

void AddTreeCommand(CLI::App &app, CommandContext &context)
{
    auto options = std::make_shared<TreeOptions>();
    CLI::App *command = app.add_subcommand(
        "tree", "The whole dependency closure of each file: what is missing and why, then where "
                "each DLL was found");
    options->search.AddTo(*command);
    command->add_flag("--missing-only", options->view.missingOnly, "Print only the missing names");
    command->add_flag("--tree", options->view.tree, "Print the closure as a tree");
    command->add_option("FILE", options->files, "PE files (EXE, DLL, OCX)")->required();
    command->callback([&context, options] {
        const auto order = options->search.Order(context.err);
        if (!order) {
            context.status = kExitUsage;
            return;
        }
        options->view.demangle = options->search.demangle;
        FolderCache folders;
        PeFactsCache facts;
        ClosureBuilder builder(*order, folders, facts);
        nlohmann::json files = nlohmann::json::array();
        int status = kExitOk;
        bool first = true;
        for (const std::string &path : options->files) {
            const ClosureResult closure = builder.Build(path);
            status = std::max(status, ExitStatusOf(closure.Outcome()));
            if (options->search.json) {
                files.push_back(ClosureJson(closure, *order, options->view));
                continue;
            }
            if (!first && closure.ok) {
                context.out << '\n';
            }
            first = first && !closure.ok;
            WritePlainClosure(context.out, context.err, closure, options->view);
        }
        if (options->search.json) {
            WriteJsonDocument(context.out, {{"command", "tree"},
                                            {"search_order", SearchOrderJson(*order)},
                                            {"files", std::move(files)},
                                            {"exit_status", status}});
        }
        context.status = status;
    });
}

void AddReportCommand(CLI::App &app, CommandContext &context)
{
    auto options = std::make_shared<ReportOptions>();
    CLI::App *command = app.add_subcommand(
        "report", "Every PE file under a folder: the missing names, each with the files that "
                  "need it");
    options->search.AddTo(*command);
    command->add_option("--who", options->who, "List the files that import this DLL name");
    command->add_option("--jobs", options->jobs, "Files read at once (default: one per core)")
        ->check(CLI::Range(1u, 256u));
    command->add_option("DIR", options->folder, "The folder to read, with its subfolders")
        ->required();
    command->callback([&context, options] {
        const auto order = options->search.Order(context.err);
        if (!order) {
            context.status = kExitUsage;
            return;
        }
        const FolderReportResult report =
            BuildFolderReport(options->folder, *order, options->who,
                              options->jobs ? options->jobs : DefaultThreadCount());
        int status = ExitStatusOf(report.Outcome());
        if (options->who && report.ok && report.damaged.empty() && report.who.empty()) {
            status = kExitMissing; // as grep: no file imports the name
        } else if (options->who && status == kExitMissing) {
            status = kExitOk; // the question was who imports it, not what is missing
        }
        if (options->search.json) {
            nlohmann::json doc =
                FolderReportJson(options->folder, report, options->who, options->search.demangle);
            doc["search_order"] = SearchOrderJson(*order);
            doc["exit_status"] = status;
            WriteJsonDocument(context.out, doc);
        } else if (!report.ok) {
            context.err << EscapeControls(options->folder) << ": " << report.status << '\n';
        } else {
            WritePlainFolderReport(context.out, options->folder, report, options->who.has_value(),
                                   options->search.demangle);
        }
        context.status = status;
    });
}

void AddBundleCommand(CLI::App &app, CommandContext &context)
{
    auto options = std::make_shared<BundleOptions>();
    CLI::App *command = app.add_subcommand(
        "bundle", "Copy every DLL a program needs, except Windows' own, into a folder");
    options->search.AddTo(*command);
    command->add_option("--to", options->to, "The folder to copy into (made if missing)")
        ->required();
    command->add_flag("--force", options->force,
                      "Replace a different file of the same name in the folder");
    command->add_option("FILE", options->file, "The program (EXE, DLL, OCX)")->required();
    command->callback([&context, options] {
        const auto order = options->search.Order(context.err);
        if (!order) {
            context.status = kExitUsage;
            return;
        }
        FolderCache folders;
        PeFactsCache facts;
        const ClosureResult closure = ClosureBuilder(*order, folders, facts).Build(options->file);
        BundleResult bundle;
        if (closure.ok) {
            bundle = BundleClosure(closure, options->to, options->force);
        } else {
            bundle.status = closure.status;
        }
        const int status = closure.ok ? ExitStatusOf(bundle.Outcome(closure)) : kExitUnreadable;
        if (options->search.json) {
            WriteJsonDocument(context.out, BundleJson(closure, bundle, options->to, *order,
                                                      options->search.demangle));
        } else if (!closure.ok) {
            context.err << EscapeControls(options->file) << ": " << closure.status << '\n';
        } else if (!bundle.ok) {
            context.err << EscapeControls(options->to) << ": " << EscapeControls(bundle.status)
                        << '\n';
        } else {
            WritePlainBundle(context.out, closure, bundle, options->search.demangle);
        }
        context.status = status;
    });
}

} // namespace quorvane
