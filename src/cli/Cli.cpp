#include "cli/Cli.h"

#include "cli/Commands.h"

#include <ostream>

namespace quorvane {

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    CommandContext context{out, err};
    CLI::App app(
        "Lists the files a Windows executable (EXE, DLL, OCX) needs, and which are missing.",
        "quorvane-cli");
    bool version = false;
    app.add_flag("--version", version, "Print the version and exit");
    app.require_subcommand(0, 1);
    app.fallthrough(false);
    // Options are --long only, on every system: CLI11 would take "/x" as an option on Windows, and
    // a path such as "/tmp/app.exe" (which Windows takes as one on the current drive) with it.
    app.allow_windows_style_options(false);
    AddReaderCommands(app, context);
    AddDeepCommand(app, context);
    AddCheckCommand(app, context);
    AddTreeCommand(app, context);
    AddReportCommand(app, context);
    AddBundleCommand(app, context);

    // CLI11 takes the arguments last to first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::ParseError &e) {
        err << "quorvane-cli: " << e.what() << " (see quorvane-cli --help)\n";
        return kExitUsage;
    }
    if (version) {
        out << "quorvane-cli " << QUORVANE_VERSION << '\n';
        return kExitOk;
    }
    if (app.get_subcommands().empty()) {
        err << "quorvane-cli: a command is required (see quorvane-cli --help)\n";
        return kExitUsage;
    }
    return context.status;
}

} // namespace quorvane
