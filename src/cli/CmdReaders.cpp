// quorvane-cli imports | exports: the readers' names in table order.
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/Report.h"
#include "core/pe/modPETables.h"

#include <memory>

namespace quorvane {
namespace {

struct ReaderOptions {
    bool json = false;
    std::vector<std::string> files;
};

// A file without the table is an answer, not an error; anything else that fails is.
int ExitStatusOf(const ReaderResult &result)
{
    return result.Ok() || result.outcome == ReaderOutcome::NoTable ? kExitOk : kExitUnreadable;
}

template <typename Reader>
void AddReaderCommand(CLI::App &app, CommandContext &context, const std::string &name,
                      const std::string &description, Reader reader)
{
    auto options = std::make_shared<ReaderOptions>();
    CLI::App *command = app.add_subcommand(name, description);
    command->add_flag("--json", options->json, "Print one JSON document");
    command->add_option("FILE", options->files, "PE files (EXE, DLL, OCX)")->required();
    command->callback([&context, options, name, reader] {
        std::vector<FileReport> reports;
        for (const std::string &path : options->files) {
            ReaderResult result = reader(path);
            reports.push_back({path, result.Ok(), std::string(result.Status()),
                               std::move(result.names), ExitStatusOf(result)});
        }
        context.status = WriteReports(context.out, context.err, name, reports, options->json);
    });
}

} // namespace

void AddReaderCommands(CLI::App &app, CommandContext &context)
{
    AddReaderCommand(app, context, "imports", "List the DLL names of each file's import table",
                     [](const std::string &path) { return ReadImportNames(path); });
    AddReaderCommand(app, context, "exports", "List the exported function names of each file",
                     [](const std::string &path) { return ReadExportNames(path); });
}

} // namespace quorvane
