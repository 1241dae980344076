// quorvane-cli imports | exports: the readers' names in table order; with --functions or --all,
// every imported function or every export.
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/FunctionListing.h"
#include "cli/PackagerOutput.h"
#include "cli/Report.h"
#include "core/pe/modPETables.h"

#include <algorithm>
#include <memory>

namespace quorvane {
namespace {

struct ReaderOptions {
    bool json = false;
    bool functions = false; // imports --functions, exports --all
    bool demangle = false;
    std::vector<std::string> files;
};

// A file without the table is an answer, not an error; anything else that fails is.
template <typename Result> int ExitStatusOf(const Result &result)
{
    return result.Ok() || result.outcome == ReaderOutcome::NoTable ? kExitOk : kExitUnreadable;
}

void ListFunctions(CommandContext &context, const std::string &name, const ReaderOptions &options)
{
    const bool imports = name == "imports";
    std::vector<FunctionFile> files;
    int status = kExitOk;
    for (const std::string &path : options.files) {
        FunctionFile file{path, {}, {}};
        if (imports) {
            file.imports = ReadAllImportFunctions(path);
            status = std::max(status, ExitStatusOf(file.imports));
        } else {
            file.exports = ReadExportTable(path);
            status = std::max(status, ExitStatusOf(file.exports));
        }
        files.push_back(std::move(file));
    }
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const FunctionFile &file : files) {
            list.push_back(imports ? ImportFunctionsJson(file, options.demangle)
                                   : ExportTableJson(file, options.demangle));
        }
        WriteJsonDocument(context.out, {{"command", name}, {"files", std::move(list)}});
    } else if (imports) {
        WritePlainImportFunctions(context.out, context.err, files, options.demangle);
    } else {
        WritePlainExportTable(context.out, context.err, files, options.demangle);
    }
    context.status = status;
}

template <typename Reader>
void AddReaderCommand(CLI::App &app, CommandContext &context, const std::string &name,
                      const std::string &description, Reader reader)
{
    auto options = std::make_shared<ReaderOptions>();
    CLI::App *command = app.add_subcommand(name, description);
    command->add_flag("--json", options->json, "Print one JSON document");
    CLI::Option *functions =
        name == "imports"
            ? command->add_flag("--functions", options->functions,
                                "List the functions imported from each DLL, the delay-loaded "
                                "DLLs too: by name with the hint, or by ordinal (#N)")
            : command->add_flag("--all", options->functions,
                                "List every export: ordinal, name (if any), and address or "
                                "forwarder");
    CLI::Option *demangle = command->add_flag(
        "--demangle", options->demangle, "Show decorated C++ names (MinGW's, MSVC's) readably");
    if (name == "imports") {
        demangle->needs(functions);
    }
    command->add_option("FILE", options->files, "PE files (EXE, DLL, OCX)")->required();
    command->callback([&context, options, name, reader] {
        if (options->functions) {
            ListFunctions(context, name, *options);
            return;
        }
        std::vector<FileReport> reports;
        for (const std::string &path : options->files) {
            ReaderResult result = reader(path);
            FileReport report{path,
                              result.Ok(),
                              std::string(result.Status()),
                              std::move(result.names),
                              ExitStatusOf(result),
                              std::nullopt};
            if (options->demangle) {
                report.demangled.emplace();
                for (const std::string &n : report.names) {
                    report.demangled->push_back(ShownName(n, true));
                }
            }
            reports.push_back(std::move(report));
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
