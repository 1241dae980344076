#include "core/lists/CommandLine.h"

namespace quorvane {

std::string ProgramCommandLineText(int argc, const char *const *argv)
{
    return JoinArguments(argc, argv);
}

std::vector<std::string> ProgramArguments(int argc, const char *const *argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        args.emplace_back(argv[i]);
    }
    return args;
}

} // namespace quorvane
