#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>

namespace quorvane {

/// What a command needs from the program around it; a command's callback sets status.
struct CommandContext {
    std::ostream &out;
    std::ostream &err;
    int status = 0;
};

// Each adds its subcommands to the program; called once, in the order of the help text.
void AddReaderCommands(CLI::App &app, CommandContext &context);
void AddDeepCommand(CLI::App &app, CommandContext &context);
void AddCheckCommand(CLI::App &app, CommandContext &context);
void AddTreeCommand(CLI::App &app, CommandContext &context);
void AddReportCommand(CLI::App &app, CommandContext &context);
void AddBundleCommand(CLI::App &app, CommandContext &context);

} // namespace quorvane
