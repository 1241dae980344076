// The command-line text: the argument vector joined again, and the raw line less the program name.
#include "core/lists/CommandLine.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(CommandLine, ArgumentsJoinedWithSingleSpacesAndTheRawLineLessTheProgramName)
{
    const std::pair<std::vector<const char *>, std::string> joined[] = {
        {{}, ""},
        {{"quorvane"}, ""},
        {{"quorvane", "/tmp/my", "file.dll"}, "/tmp/my file.dll"},
        {{"quorvane", "\"a b\"", " c "}, "\"a b\"  c "}, // nothing trimmed or unquoted
        {{"quorvane", "", "x"}, " x"},
    };
    for (auto [argv, text] : joined) {
        const int argc = static_cast<int>(argv.size());
        argv.push_back(nullptr);
        EXPECT_EQ(JoinArguments(argc, argv.data()), text);
    }
    const std::pair<std::wstring, std::wstring> raw[] = {
        {L"", L""},
        {L"quorvane.exe  \t ", L""},
        {L"quorvane.exe C:\\a b.dll  ", L"C:\\a b.dll  "},
        {L"\"C:\\Program Files\\quorvane.exe\" \"C:\\x y.dll\"", L"\"C:\\x y.dll\""},
        {L"\"C:\\q.exe\"x.dll", L"x.dll"},
        {L"\"C:\\never closed x.dll", L""},
    };
    for (const auto &[line, text] : raw) {
        EXPECT_EQ(TextAfterProgramName(line), text);
    }
}

} // namespace
} // namespace quorvane
