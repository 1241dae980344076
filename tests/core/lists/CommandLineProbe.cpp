// Prints what the program's command-line readers make of the line it was started with: the text
// after the program's name, then each argument, one per line, in UTF-8.
#include "core/lists/CommandLine.h"

#include <cstdio>

int main(int argc, char **argv)
{
    std::printf("%s\n", quorvane::ProgramCommandLineText(argc, argv).c_str());
    for (const std::string &arg : quorvane::ProgramArguments(argc, argv)) {
        std::printf("%s\n", arg.c_str());
    }
    return 0;
}
