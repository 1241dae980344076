#include "core/check/MissingCheck.h"

#include "core/check/FilePresence.h"
#include "core/platform/PathRules.h"

namespace quorvane {

std::string ApplicationPrefix(std::string_view path)
{
    return std::string(FolderPartOf(path));
}

std::string SystemPrefix(std::string_view systemFolder)
{
    return std::string(systemFolder) + kPathSeparator;
}

std::string WebSearchAddress(std::string_view name)
{
    return std::string(kSearchAddress) + std::string(name);
}

std::vector<std::string> FindMissingNames(const std::string &appPrefix,
                                          const std::string &sysPrefix,
                                          const std::vector<std::string> &names,
                                          const PresenceTest &test)
{
    FolderCache cache;
    const PresenceTest search =
        test ? test : [&cache](const std::string &prefix, const std::string &name) {
            return cache.IsPresent(prefix, name);
        };
    std::vector<std::string> missing;
    for (const std::string &name : names) {
        bool present = false;
        try {
            // Both searches run for every name, also when the first has found it.
            const bool inApplicationFolder = search(appPrefix, name);
            const bool inSystemFolder = search(sysPrefix, name);
            present = inApplicationFolder || inSystemFolder;
        } catch (...) {
            present = false; // a search that fails proves nothing is there
        }
        if (!present) {
            missing.push_back(name);
        }
    }
    return missing;
}

} // namespace quorvane
