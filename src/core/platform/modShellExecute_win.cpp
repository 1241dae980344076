#include "core/platform/WinText.h"
#include "core/platform/modShellExecute.h"

#include <shellapi.h>

#include <filesystem>

namespace quorvane {

std::intptr_t PlatformShellExecute(WindowHandle owner, const std::string &operation,
                                   const std::string &file, const std::string &parameters,
                                   const std::string &directory, std::int32_t showCommand)
{
    const std::wstring wideOperation = Widen(operation);
    const std::wstring wideFile = Widen(file);
    const std::wstring wideParameters = Widen(parameters);
    const std::wstring wideDirectory = Widen(directory);
    const HINSTANCE result = ::ShellExecuteW(reinterpret_cast<HWND>(owner), wideOperation.c_str(),
                                             wideFile.c_str(), wideParameters.c_str(),
                                             wideDirectory.c_str(), static_cast<INT>(showCommand));
    return reinterpret_cast<std::intptr_t>(result);
}

std::string ProgramFileStem()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return "quorvane";
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return Narrow(std::filesystem::path(buffer).stem().wstring());
}

} // namespace quorvane
