#include "core/packager/SearchOrder.h"

#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"
#include "core/platform/modSysFolder.h"

namespace quorvane {
std::optional<SearchOrder> SearchOrder::Make(const std::vector<std::string> &searchDirs,
                                             const std::optional<std::string> &systemDir,
                                             const std::optional<std::string> &winePrefix,
                                             std::string &problem)
{
    SearchOrder order;
    for (const std::string &dir : searchDirs) {
        if (!IsFolder(dir)) {
            problem = "--search " + dir + ": not a folder";
            return std::nullopt;
        }
        order.m_searchPrefixes.push_back(FolderPrefix(dir));
    }
    if (systemDir) {
        if (!IsFolder(*systemDir)) {
            problem = "--system-dir " + *systemDir + ": not a folder";
            return std::nullopt;
        }
        order.m_system32Bit = order.m_system64Bit = WithoutTrailingSeparators(*systemDir);
        return order;
    }
    std::string prefix;
    if (winePrefix) {
        prefix = WithoutTrailingSeparators(*winePrefix);
        if (!IsFolder(FolderPrefix(prefix) + "drive_c/windows/system32")) {
            problem = "--wine-prefix " + *winePrefix + ": no drive_c/windows/system32 folder in it";
            return std::nullopt;
        }
    } else {
        prefix = GetWinePrefix();
    }
    if (prefix.empty()) {
        order.m_system64Bit = GetSystemFolder();
        order.m_system32Bit = GetSystemFolderFor32BitPrograms();
        return order;
    }
    const std::string windows = FolderPrefix(prefix) + "drive_c/windows/";
    order.m_system64Bit = windows + "system32";
    // A 64-bit prefix keeps its 32-bit DLLs in syswow64; a 32-bit prefix has only system32.
    order.m_system32Bit =
        IsFolder(windows + "syswow64") ? windows + "syswow64" : windows + "system32";
    return order;
}

} // namespace quorvane
