#include "core/lists/CommandLine.h"

#include <algorithm>

namespace quorvane {

std::string JoinArguments(int argc, const char *const *argv)
{
    std::string text;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

std::wstring_view TextAfterProgramName(std::wstring_view commandLine)
{
    constexpr std::wstring_view kBlanks = L" \t";
    std::size_t nameEnd = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const auto closing = commandLine.find(L'"', 1);
        nameEnd = closing == std::wstring_view::npos ? commandLine.size() : closing + 1;
    } else {
        nameEnd = std::min(commandLine.find_first_of(kBlanks), commandLine.size());
    }
    const auto restStart = commandLine.find_first_not_of(kBlanks, nameEnd);
    return restStart == std::wstring_view::npos ? std::wstring_view{}
                                                : commandLine.substr(restStart);
}

} // namespace quorvane
