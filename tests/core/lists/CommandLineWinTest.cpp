// The program's command line on Windows, read from the raw line a real process was started with.
#include "core/lists/CommandLine.h"
#include "core/platform/FileSystem.h"
#include "core/platform/WinText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace quorvane {
namespace {

// The lines the probe, started with commandLine, wrote: the text after its name, then each
// argument.
std::vector<std::string> ProbeLines(const std::wstring &commandLine)
{
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    const std::wstring probe =
        self.substr(0, self.find_last_of(L'\\') + 1) + L"quorvane_command_line_probe.exe";
    test::TempDir dir;
    const std::wstring output = dir.Path().wstring() + L"\\out.txt";
    ::SetEnvironmentVariableW(L"QUORVANE_PROBE_OUTPUT", output.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine; // CreateProcessW may write into it
    if (!::CreateProcessW(probe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        ADD_FAILURE() << "cannot start " << Narrow(probe);
        return {};
    }
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::ifstream in(std::filesystem::path(output), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string text; std::getline(in, text);) {
        lines.push_back(text);
    }
    return lines;
}

TEST(WindowsCommandLine, TheRawLineAndTheArgumentsComeAsTyped)
{
    const struct {
        const wchar_t *typed;
        std::vector<std::string> expected; // the text after the name, then each argument
    } cases[] = {
        {L"probe.exe", {""}},
        {L"\"C:\\Program Files\\probe.exe\"  \"C:\\my apps\\tool.exe\"",
         {"\"C:\\my apps\\tool.exe\"", "C:\\my apps\\tool.exe"}},
        {L"probe.exe   a  \t b  ", {"a  \t b  ", "a", "b"}},
        {L"probe.exe D:/Ünï/名前 ☃.dll", {"D:/Ünï/名前 ☃.dll", "D:/Ünï/名前", "☃.dll"}},
        {L"probe.exe \"C:\\dir\\\\\" x", {"\"C:\\dir\\\\\" x", "C:\\dir\\", "x"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Narrow(c.typed));
        EXPECT_EQ(ProbeLines(c.typed), c.expected);
    }
}

} // namespace
} // namespace quorvane
