#include "core/platform/WinText.h"
#include "core/platform/modSysFolder.h"

namespace quorvane {

std::string GetSystemFolder()
{
    const std::wstring folder =
        GetSystemFolderWith<wchar_t>([](wchar_t *buffer, std::uint32_t size) {
            return static_cast<std::uint32_t>(::GetSystemDirectoryW(buffer, size));
        });
    return Narrow(folder);
}

std::string GetSystemFolderFor32BitPrograms()
{
    // 32-bit Windows has no such folder, and says so with a failure.
    const std::wstring folder =
        GetSystemFolderWith<wchar_t>([](wchar_t *buffer, std::uint32_t size) {
            return static_cast<std::uint32_t>(::GetSystemWow64DirectoryW(buffer, size));
        });
    return folder.empty() ? GetSystemFolder() : Narrow(folder);
}

// Windows has its own system folder; a Wine prefix only stands in for it elsewhere.
std::string GetWinePrefix()
{
    return {};
}

} // namespace quorvane
