// quorvane-cli deep: the names a deep scan leaves in the dependency list, in the list's order.
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/DeepReport.h"
#include "cli/Report.h"

#include <memory>

namespace quorvane {
namespace {

struct DeepOptions {
    bool json = false;
    std::string types = std::string(kAllTypes);
    std::vector<std::string> files;
};

} // namespace

void AddDeepCommand(CLI::App &app, CommandContext &context)
{
    auto options = std::make_shared<DeepOptions>();
    CLI::App *command = app.add_subcommand(
        "deep", "List every DLL, OCX, SYS, DRV or TLB name in each file's bytes");
    AddTypesOption(*command, options->types);
    command->add_flag("--json", options->json, "Print one JSON document");
    command->add_option("FILE", options->files, "Files to scan")->required();
    command->callback([&context, options] {
        const std::array<bool, 5> ticked =
            TickedTypes(options->types).value_or(std::array<bool, 5>{});
        std::vector<FileReport> reports;
        for (const std::string &path : options->files) {
            reports.push_back(DeepScanReport(path, ticked));
        }
        context.status = WriteReports(context.out, context.err, "deep", reports, options->json);
    });
}

} // namespace quorvane
