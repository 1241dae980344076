#include "core/platform/PathRules.h"

namespace quorvane {
namespace {

std::size_t NameStart(std::string_view path)
{
    const std::size_t cut = path.find_last_of(kFolderSeparators);
    return cut == std::string_view::npos ? 0 : cut + 1;
}

} // namespace

std::string_view FolderPartOf(std::string_view path)
{
    return path.substr(0, NameStart(path));
}

std::string_view FileNameOf(std::string_view path)
{
    return path.substr(NameStart(path));
}

std::string WithoutTrailingSeparators(std::string_view folder)
{
    while (folder.size() > 1 && IsFolderSeparator(folder.back())) {
        folder.remove_suffix(1);
    }
    return std::string(folder);
}

std::string FolderPrefix(std::string_view folder)
{
    std::string prefix = WithoutTrailingSeparators(folder);
    if (prefix.empty() || !IsFolderSeparator(prefix.back())) {
        prefix += kPathSeparator; // a root already ends in its separator
    }
    return prefix;
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && !IsFolderSeparator(path.back())) {
        path += kPathSeparator;
    }
    path += name;
    return path;
}

} // namespace quorvane
