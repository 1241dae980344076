#include "core/check/DependencyActions.h"

#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "core/platform/FileSystem.h"
#include "core/text/AsciiCase.h"

#include <filesystem>
#include <system_error>

namespace quorvane {

std::optional<std::string> OnDiskPath(const std::string &prefixedPath)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path = FsPath(prefixedPath);
    if (fs::is_regular_file(path, error)) {
        return prefixedPath;
    }
    const std::string name = PathText(path.filename());
    if (name.empty()) {
        return std::nullopt;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::optional<std::string> best;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string candidate = PathText(it->path().filename());
        if (candidate.empty() || candidate.front() == '.' ||
            !EqualsIgnoringAsciiCase(candidate, name) || (best && candidate >= *best)) {
            continue;
        }
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            best = candidate;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    // Keep the caller's prefix as it was typed; only the name takes the disk's spelling.
    return prefixedPath.substr(0, prefixedPath.size() - name.size()) + *best;
}

std::optional<std::string> FindDependency(std::string_view pathText, std::string_view name,
                                          const DependencyLookupServices &lookup)
{
    if (name.empty() || !IsPlainFileName(name)) {
        return std::nullopt;
    }
    const auto found = [](const std::string &candidate) {
        return OnDiskPath(candidate).value_or(candidate);
    };
    std::string candidate = ApplicationPrefix(pathText);
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return found(candidate);
    }
    candidate = SystemPrefix(lookup.getSystemFolder());
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return found(candidate);
    }
    return std::nullopt;
}

} // namespace quorvane
