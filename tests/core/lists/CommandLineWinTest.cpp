// The program's command line on Windows, read from the raw line a real process was started with.
#include "core/lists/CommandLine.h"
#include "core/platform/WinText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

// Each line typed starts the probe beside this program, which writes the text after its name, then
// each argument, a line each.
TEST(WindowsCommandLine, TheRawLineAndTheArgumentsComeAsTyped)
{
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const std::wstring probe =
        self.substr(0, self.find_last_of(L'\\') + 1) + L"quorvane_command_line_probe.exe";
    test::TempDir dir;
    ::SetEnvironmentVariableW(L"QUORVANE_PROBE_OUTPUT", (dir / "out.txt").wstring().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    const std::pair<std::wstring, std::string> rows[] = {
        {L"probe.exe", "\n"},
        {L"\"C:\\Program Files\\probe.exe\"  \"C:\\my apps\\tool.exe\"",
         "\"C:\\my apps\\tool.exe\"\nC:\\my apps\\tool.exe\n"},
        {L"probe.exe   a  \t b  ", "a  \t b  \na\nb\n"},
        {L"probe.exe D:/Ünï/名前 ☃.dll", "D:/Ünï/名前 ☃.dll\nD:/Ünï/名前\n☃.dll\n"},
        {L"probe.exe \"C:\\dir\\\\\" x", "\"C:\\dir\\\\\" x\nC:\\dir\\\nx\n"},
    };
    for (auto [typed, expected] : rows) {
        PROCESS_INFORMATION process{};
        // CreateProcessW may write into the line: typed is a copy.
        ASSERT_TRUE(::CreateProcessW(probe.c_str(), typed.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &process))
            << Narrow(probe);
        ::WaitForSingleObject(process.hProcess, 30000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        const std::ifstream text(dir / "out.txt", std::ios::binary);
        EXPECT_EQ((std::ostringstream() << text.rdbuf()).str(), expected) << Narrow(typed);
    }
}

} // namespace
} // namespace quorvane
