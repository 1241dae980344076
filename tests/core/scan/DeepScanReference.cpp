#include "core/scan/DeepScanReference.h"

#include <regex>

namespace quorvane::reference {
namespace {

const std::array<std::string, 5> kExtensions{".DLL", ".OCX", ".SYS", ".DRV", ".TLB"};

// A text box used as a character buffer: what is read back is what was written, cut off before
// the first NUL.
class TextBuffer {
public:
    void Set(const std::string &text) { m_text = text.substr(0, text.find('\0')); }
    std::string Get() const { return m_text; }

private:
    std::string m_text;
};

// Positions count from 1, as in the algorithm's own terms.
std::string Mid(const std::string &text, long start, long length)
{
    if (start < 1 || start > static_cast<long>(text.size()) || length <= 0) {
        return {};
    }
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}

std::string Right(const std::string &text, std::size_t length)
{
    return length >= text.size() ? text : text.substr(text.size() - length);
}

// Removes leading and trailing spaces, and no other character.
std::string Trim(const std::string &text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string UCase(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// The 1-based position of the first exact occurrence of what at or after start; 0 when none.
long InStr(long start, const std::string &text, const std::string &what)
{
    const long last = static_cast<long>(text.size()) - static_cast<long>(what.size()) + 1;
    for (long at = start; at <= last; ++at) {
        bool same = true;
        for (std::size_t k = 0; k < what.size() && same; ++k) {
            same = text[static_cast<std::size_t>(at - 1) + k] == what[k];
        }
        if (same) {
            return at;
        }
    }
    return 0;
}

} // namespace

std::string CleanFilename(const std::string &text)
{
    // Built once: compiling the pattern costs more than most searches with it, and it never
    // changes.
    static const std::regex pattern("([A-Z,a-z,0-9]*\\.[A-Z,a-z,0-9]*)",
                                    std::regex::ECMAScript | std::regex::icase);
    std::string last;
    for (auto match = std::sregex_iterator(text.begin(), text.end(), pattern);
         match != std::sregex_iterator(); ++match) {
        last = match->str();
    }
    return last;
}

void FindNamesWithExtension(std::string contents, std::string extension,
                            std::vector<std::string> &list1, Cleaner clean)
{
    TextBuffer txtTemp;
    const long length = static_cast<long>(extension.size());
    long h = InStr(1, contents, extension);
    while (h != 0) {
        // Back to the nearest NUL or backslash; the start of the contents counts as one.
        long p = h;
        while (true) {
            p -= 1;
            if (p < 1) {
                p = 0;
                break;
            }
            txtTemp.Set(Mid(contents, p, 1));
            const std::string seen = txtTemp.Get();
            if (seen.empty() || Trim(seen) == "\\") {
                break;
            }
        }
        txtTemp.Set(Mid(contents, p + 1, h - p - 1 + length));
        const std::string cleaned = clean(Trim(txtTemp.Get()));
        if (cleaned.substr(0, 1) != ".") {
            list1.push_back(cleaned);
        }
        h = InStr(h + 4, contents, extension);
    }
}

void ScanFileContents(std::string_view bytes, const std::array<bool, 5> &ticked,
                      std::vector<std::string> &list1, Cleaner clean)
{
    list1.clear();
    const std::string contents = UCase(std::string(bytes));
    for (std::size_t i = 0; i < kExtensions.size(); ++i) {
        if (ticked[i]) {
            FindNamesWithExtension(contents, kExtensions[i], list1, clean);
        }
    }
}

void RemoveDuplicateNames(std::vector<std::string> &list1)
{
    for (std::size_t i = 0; i < list1.size(); ++i) {
        const std::string key = UCase(list1[i]);
        if (key.empty()) {
            continue;
        }
        std::size_t j = i + 1;
        while (j < list1.size()) {
            if (UCase(list1[j]) == key) {
                list1.erase(list1.begin() + static_cast<long>(j));
            } else {
                ++j;
            }
        }
    }
}

void CopyNamesToDependencyList(const std::vector<std::string> &list1,
                               std::vector<std::string> &lstDep)
{
    const std::size_t count = list1.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string &item = list1[i];
        if (Trim(Right(item, 4)).substr(0, 1) == "." && !item.empty()) {
            lstDep.push_back(item);
        }
    }
}

Result DeepScan(std::string_view bytes, const std::array<bool, 5> &ticked, Cleaner clean)
{
    Result result;
    ScanFileContents(bytes, ticked, result.scratch, clean);
    RemoveDuplicateNames(result.scratch);
    CopyNamesToDependencyList(result.scratch, result.dependencies);
    return result;
}

} // namespace quorvane::reference
