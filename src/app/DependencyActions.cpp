#include "app/DependencyActions.h"

namespace quorvane {

std::string ApplicationPrefix(std::string_view path, std::string_view separators)
{
    const auto last = path.find_last_of(separators);
    if (last == std::string_view::npos) {
        return {};
    }
    return std::string(path.substr(0, last + 1));
}

std::string SystemPrefix(std::string_view systemFolder, std::string_view separator)
{
    std::string prefix(systemFolder);
    prefix += separator;
    return prefix;
}

bool IsPlainFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

std::optional<std::string> FindDependency(std::string_view pathText, std::string_view name,
                                          const DependencyLookup &lookup)
{
    if (!IsPlainFileName(name)) {
        return std::nullopt;
    }
    std::string candidate = ApplicationPrefix(pathText);
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return candidate;
    }
    candidate = SystemPrefix(lookup.getSystemFolder());
    candidate += name;
    if (lookup.isFilePresent(candidate)) {
        return candidate;
    }
    return std::nullopt;
}

} // namespace quorvane
