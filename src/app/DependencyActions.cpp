#include "app/DependencyActions.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace quorvane {

namespace {

// The folder rules of the double-click. The missing-dependency check applies the same ones.
#ifdef _WIN32
constexpr std::string_view kAppFolderSeparators = "\\/";
constexpr std::string_view kSystemFolderJoin = "\\";
#else
constexpr std::string_view kAppFolderSeparators = "/";
constexpr std::string_view kSystemFolderJoin = "/";
#endif

std::string AppFolderPrefix(std::string_view path)
{
    const auto last = path.find_last_of(kAppFolderSeparators);
    if (last == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, last + 1));
}

std::string SystemFolderPrefix(std::string_view systemFolder)
{
    std::string prefix(systemFolder);
    prefix += kSystemFolderJoin;
    return prefix;
}

bool IsPlainListedName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::optional<std::string> OnDiskPath(const std::string &prefixedPath)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(prefixedPath);
    if (fs::is_regular_file(path, error)) {
        return prefixedPath;
    }
    const std::string name = path.filename().string();
    if (name.empty()) {
        return std::nullopt;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::optional<std::string> best;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string candidate = it->path().filename().string();
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
                                          const DependencyLookup &lookup)
{
    if (!IsPlainListedName(name)) {
        return std::nullopt;
    }
    const auto found = [](const std::string &candidate) {
        return OnDiskPath(candidate).value_or(candidate);
    };
    std::string candidate = AppFolderPrefix(pathText);
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return found(candidate);
    }
    candidate = SystemFolderPrefix(lookup.getSystemFolder());
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return found(candidate);
    }
    return std::nullopt;
}

} // namespace quorvane
