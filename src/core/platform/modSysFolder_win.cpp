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

// Windows has its own system folder; a Wine prefix only stands in for it elsewhere.
std::string GetWinePrefix()
{
    return {};
}

} // namespace quorvane
