#include "ui/ProgramCommandLine.h"

#include "core/lists/CommandLine.h"

namespace quorvane {

std::string ProgramCommandLine(int argc, char **argv)
{
    // The shell has already split the line and taken its quotes off; joining the words again with
    // single spaces gives back a path that was typed unquoted.
    return JoinArguments(argc, argv);
}

} // namespace quorvane
