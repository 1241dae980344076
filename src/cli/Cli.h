#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane {

/// Exit statuses of quorvane-cli.
enum ExitStatus : int {
    kExitOk = 0,         // all went well (also: a file has no such table)
    kExitMissing = 1,    // a check found missing names
    kExitUnreadable = 2, // a file could not be read, or a table is damaged
    kExitUsage = 64,     // wrong usage
};

/// Runs quorvane-cli with the arguments that follow the program's name; returns the exit status.
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace quorvane
