#include "core/scan/DeepScanReference.h"

#include <algorithm>
#include <regex>

namespace quorvane::reference {

std::string CleanFilename(const std::string &text)
{
    static const std::regex pattern("[A-Z,a-z,0-9]*\\.[A-Z,a-z,0-9]*");
    std::string last;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), pattern);
         m != std::sregex_iterator(); ++m) {
        last = m->str();
    }
    return last;
}

Result DeepScan(std::string_view bytes, const std::array<bool, 5> &ticked, Cleaner clean)
{
    const auto trim = [](std::string text) {        // spaces only, no other character
        text.erase(0, text.find_first_not_of(' ')); // all of it when it is all spaces
        return text.erase(text.find_last_not_of(' ') + 1);
    };
    const char *const extensions[] = {".DLL", ".OCX", ".SYS", ".DRV", ".TLB"};
    std::string contents(bytes);
    std::transform(contents.begin(), contents.end(), contents.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    Result r;
    for (std::size_t type = 0; type < 5; ++type) {
        for (std::size_t h = ticked[type] ? contents.find(extensions[type]) : std::string::npos;
             h != std::string::npos; h = contents.find(extensions[type], h + 4)) {
            std::size_t start = h; // back to just after the nearest NUL or backslash, or the start
            while (start > 0 && contents[start - 1] != '\0' && contents[start - 1] != '\\') {
                --start;
            }
            // The names are upper case already: a duplicate is an equal name found before.
            const std::string name = clean(trim(contents.substr(start, h + 4 - start)));
            if (!name.starts_with('.') &&
                (name.empty() ||
                 std::find(r.scratch.begin(), r.scratch.end(), name) == r.scratch.end())) {
                r.scratch.push_back(name);
            }
        }
    }
    for (const std::string &item : r.scratch) {
        if (trim(item.size() > 4 ? item.substr(item.size() - 4) : item).starts_with('.')) {
            r.dependencies.push_back(item);
        }
    }
    return r;
}

} // namespace quorvane::reference
