#pragma once

#include "core/pe/PeImage.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// Where a DLL name is looked for, in order: the application's folder (the folder of the program
/// being analysed, where Windows looks first), the extra folders in the order given, then the
/// system folder for the importing file's bitness.
class SearchOrder {
public:
    /// The system folder: the one given (for every bitness), else the Wine prefix's (given, or the
    /// one the system folder rule finds), else the system folder rule's answer (on 64-bit Windows,
    /// SysWOW64 for a 32-bit file). With a Wine prefix, a 32-bit file's system folder is
    /// drive_c/windows/syswow64 when the prefix has one (a 64-bit prefix), else system32. nullopt,
    /// with a message in problem, when a folder given does not exist.
    static std::optional<SearchOrder> Make(const std::vector<std::string> &searchDirs,
                                           const std::optional<std::string> &systemDir,
                                           const std::optional<std::string> &winePrefix,
                                           std::string &problem);

    /// The folders given with --search, each followed by one separator.
    const std::vector<std::string> &SearchPrefixes() const { return m_searchPrefixes; }
    /// The system folder for a file of that kind, without a trailing separator; empty when there is
    /// none.
    const std::string &SystemFolder(PeKind kind) const
    {
        return kind == PeKind::Pe32 ? m_system32Bit : m_system64Bit;
    }
    /// Whether any system folder is known.
    bool HasSystemFolder() const { return !m_system32Bit.empty() || !m_system64Bit.empty(); }

private:
    std::vector<std::string> m_searchPrefixes;
    std::string m_system32Bit;
    std::string m_system64Bit;
};

} // namespace quorvane
