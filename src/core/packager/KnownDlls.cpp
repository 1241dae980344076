#include "core/packager/KnownDlls.h"

#include <algorithm>
#include <unordered_set>

namespace quorvane {
namespace {

std::string Folded(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return folded;
}

} // namespace

std::vector<std::string> ParseKnownDlls(std::string_view text)
{
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = line.substr(0, std::min(line.find('#'), line.size()));
        const std::size_t begin = line.find_first_not_of(" \t\r");
        if (begin != std::string_view::npos) {
            names.push_back(Folded(line.substr(begin, line.find_last_not_of(" \t\r") - begin + 1)));
        }
    }
    return names;
}

bool IsKnownDll(std::string_view name)
{
    static const std::unordered_set<std::string> known = [] {
        const std::vector<std::string> names = ParseKnownDlls(BuiltInKnownDllsText());
        return std::unordered_set<std::string>(names.begin(), names.end());
    }();
    return known.count(Folded(name)) > 0;
}

} // namespace quorvane
