// Writes to the file $QUORVANE_PROBE_OUTPUT names what the program's command-line readers make of
// the line it was started with: the text after the program's name, then each argument, one a line.
#include "core/lists/CommandLine.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    std::FILE *out = std::fopen(std::getenv("QUORVANE_PROBE_OUTPUT"), "wb");
    std::fprintf(out, "%s\n", quorvane::ProgramCommandLineText(argc, argv).c_str());
    for (const std::string &arg : quorvane::ProgramArguments(argc, argv)) {
        std::fprintf(out, "%s\n", arg.c_str());
    }
    return std::fclose(out);
}
