#pragma once

// Runs quorvane-cli in-process and keeps what it printed.
#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

inline CliRun Cli(const std::vector<std::string> &args)
{
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace quorvane::test
