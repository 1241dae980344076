#include "cli/Cli.h"
#include "core/lists/CommandLine.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    const int status =
        quorvane::RunCli(quorvane::ProgramArguments(argc, argv), std::cout, std::cerr);
    std::cout.flush();
    return status;
}
