#include "core/lists/CommandLine.h"
#include "core/platform/WinText.h"

#include <shellapi.h>

#include <memory>

namespace quorvane {
namespace {

struct LocalFreer {
    void operator()(wchar_t **block) const { ::LocalFree(block); }
};

} // namespace

std::string ProgramCommandLineText(int /*argc*/, const char *const * /*argv*/)
{
    // The raw line, not the C runtime's argument vector: quotes and runs of spaces arrive as typed.
    return Narrow(std::wstring(TextAfterProgramName(::GetCommandLineW())));
}

std::vector<std::string> ProgramArguments(int /*argc*/, const char *const * /*argv*/)
{
    // Split by the rules the C runtime follows, so that quoting means what it means to any
    // Windows program.
    int count = 0;
    const std::unique_ptr<wchar_t *, LocalFreer> words(
        ::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::string> args;
    for (int i = 1; words && i < count; ++i) {
        args.push_back(Narrow(words.get()[i]));
    }
    return args;
}

} // namespace quorvane
