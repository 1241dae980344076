#include "core/platform/modSysFolder.h"

#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quorvane {
namespace {

std::string_view Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The Wine prefix in use when no folder is named: $WINEPREFIX, else ~/.wine, when it holds a
// system32 folder.
std::string WinePrefixOfThisMachine()
{
    std::string prefix(Environment("WINEPREFIX"));
    if (prefix.empty()) {
        const std::string_view home = Environment("HOME");
        if (home.empty()) {
            return {};
        }
        prefix = WithoutTrailingSeparators(home) + "/.wine";
    }
    prefix = WithoutTrailingSeparators(prefix);
    return IsFolder(prefix + "/drive_c/windows/system32") ? prefix : std::string();
}

// Stands in for the Windows system folder: the folder the user names, else the Wine prefix's
// system32, which is where Windows programs on this machine find their system libraries.
std::string SystemFolderOfThisMachine()
{
    // Callers append a separator and a name, so the folder must not end in one. A lone "/" stays:
    // the empty text would mean "no system folder".
    if (const std::string_view named = Environment("QUORVANE_SYSTEM_DIR"); !named.empty()) {
        return WithoutTrailingSeparators(named);
    }
    const std::string prefix = WinePrefixOfThisMachine();
    return prefix.empty() ? std::string() : prefix + "/drive_c/windows/system32";
}

// The same contract as the Windows call, so that the retry logic runs here too.
std::uint32_t GetSystemDirectoryPosix(char *buffer, std::uint32_t size)
{
    const std::string folder = SystemFolderOfThisMachine();
    if (folder.empty() || folder.size() >= UINT32_MAX) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(folder.size());
    if (length >= size) {
        return length + 1;
    }
    std::memcpy(buffer, folder.data(), length);
    buffer[length] = '\0';
    return length;
}

} // namespace

std::string GetSystemFolder()
{
    return GetSystemFolderWith<char>(GetSystemDirectoryPosix);
}

std::string GetSystemFolderFor32BitPrograms()
{
    return GetSystemFolder();
}

std::string GetWinePrefix()
{
    if (!Environment("QUORVANE_SYSTEM_DIR").empty()) {
        return {};
    }
    return WinePrefixOfThisMachine();
}

} // namespace quorvane
