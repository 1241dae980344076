#include "core/packager/DllHints.h"

#include "core/text/AsciiCase.h"

#include <algorithm>

namespace quorvane {
namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos) {
            return words;
        }
        const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
}

bool IsCategoryId(std::string_view id)
{
    return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

} // namespace

bool MatchesIgnoringCase(std::string_view pattern, std::string_view text)
{
    // The usual linear glob walk: on a mismatch, retry from the last '*' one character further.
    std::size_t p = 0, t = 0;
    std::size_t star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

HintTable HintTable::Parse(std::string_view text)
{
    HintTable table;
    table.m_fallback = {std::string(kHintApplication), "private to the application"};
    std::vector<std::string> seenPatterns;
    std::size_t lineNumber = 0;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        const auto words = Words(line);
        if (words.empty()) {
            continue;
        }
        const auto problem = [&](const std::string &what) {
            table.m_problems.push_back("line " + std::to_string(lineNumber) + ": " + what);
        };
        const auto categoryOf = [&table](std::string_view id) {
            return std::find_if(table.m_categories.begin(), table.m_categories.end(),
                                [id](const DllHint &c) { return c.category == id; });
        };
        if (words[0] == "category") {
            if (words.size() < 3 || !IsCategoryId(words[1])) {
                problem("a category needs an ID (a-z, 0-9, '-') and a text");
            } else if (categoryOf(words[1]) != table.m_categories.end()) {
                problem("category " + std::string(words[1]) + " is defined twice");
            } else {
                const std::size_t textAt = static_cast<std::size_t>(words[2].data() - line.data());
                table.m_categories.push_back(
                    {std::string(words[1]), std::string(Trimmed(line.substr(textAt)))});
            }
            continue;
        }
        const auto category = categoryOf(words[0]);
        if (category == table.m_categories.end()) {
            problem("unknown category " + std::string(words[0]) + " (define it first)");
            continue;
        }
        if (words.size() < 2) {
            problem("no pattern after " + std::string(words[0]));
        }
        const auto index = static_cast<std::size_t>(category - table.m_categories.begin());
        for (std::size_t w = 1; w < words.size(); ++w) {
            std::string pattern = ToAsciiLower(words[w]);
            if (std::find(seenPatterns.begin(), seenPatterns.end(), pattern) !=
                seenPatterns.end()) {
                problem("pattern " + pattern + " is listed twice");
                continue;
            }
            seenPatterns.push_back(pattern);
            table.m_rules.push_back({std::move(pattern), index});
        }
    }
    if (const auto own =
            std::find_if(table.m_categories.begin(), table.m_categories.end(),
                         [](const DllHint &c) { return c.category == kHintApplication; });
        own != table.m_categories.end()) {
        table.m_fallback = *own;
    }
    return table;
}

const DllHint &HintTable::HintFor(std::string_view name) const
{
    for (const Rule &rule : m_rules) {
        if (MatchesIgnoringCase(rule.pattern, name)) {
            return m_categories[rule.category];
        }
    }
    return m_fallback;
}

const HintTable &BuiltInHints()
{
    static const HintTable table = HintTable::Parse(BuiltInHintText());
    return table;
}

const DllHint &HintFor(std::string_view name)
{
    return BuiltInHints().HintFor(name);
}

const DllHint &HintForDependency(std::string_view name)
{
    static const DllHint apiSet{std::string(kHintApiSet),
                                "API-set contract: Windows maps it onto its own DLLs"};
    const DllHint &hint = HintFor(name);
    return IsApiSetName(name) && hint.category == kHintApplication ? apiSet : hint;
}

bool IsApiSetName(std::string_view name)
{
    return StartsWithIgnoringAsciiCase(name, "api-ms-win-") ||
           StartsWithIgnoringAsciiCase(name, "ext-ms-win-");
}

} // namespace quorvane
