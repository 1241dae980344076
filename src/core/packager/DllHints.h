#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The category every name falls into that no line of the hint table matches.
inline constexpr std::string_view kHintApplication = "application";
/// The category of Windows' own components, which are never shipped with a program.
inline constexpr std::string_view kHintSystem = "system";

/// What a DLL name most likely is, and where it comes from.
struct DllHint {
    std::string
        category;     // "system", "msvc-runtime", "mingw-runtime", "directx", "application", ...
    std::string text; // one line for a person
};

/// The hint table: categories with their texts, and patterns in the order they are tried.
class HintTable {
public:
    /// Reads the table's text (see dll_hints.txt for its form). Lines it cannot take are left out
    /// and described in Problems().
    static HintTable Parse(std::string_view text);

    /// The hint of the first pattern that matches the name without regard to ASCII letter case;
    /// the "application" category when none does.
    const DllHint &HintFor(std::string_view name) const;

    const std::vector<DllHint> &Categories() const { return m_categories; }
    /// One entry per line that was left out, with its line number and what is wrong with it.
    const std::vector<std::string> &Problems() const { return m_problems; }

private:
    struct Rule {
        std::string pattern; // in lower case
        std::size_t category;
    };
    std::vector<DllHint> m_categories;
    std::vector<Rule> m_rules;
    std::vector<std::string> m_problems;
    DllHint m_fallback;
};

/// The table built into the program from src/core/packager/dll_hints.txt.
const HintTable &BuiltInHints();

/// The built-in table's hint for a name.
const DllHint &HintFor(std::string_view name);

/// The category of API-set contracts that the table does not place elsewhere.
inline constexpr std::string_view kHintApiSet = "api-set";

/// The hint for a dependency: the table's, except that an API-set contract the table does not
/// place (as it places api-ms-win-crt-* with the C runtime) is an "api-set".
const DllHint &HintForDependency(std::string_view name);

/// Whether a name is an API-set contract (api-ms-win-*, ext-ms-win-*, in any letter case): a name
/// that Windows maps onto its own DLLs, never a file to look for or to ship.
bool IsApiSetName(std::string_view name);

/// Whether a glob pattern (* any run, ? one character) matches the whole text without regard to
/// ASCII letter case.
bool MatchesIgnoringCase(std::string_view pattern, std::string_view text);

/// The built-in table's text, as it was read when the program was built.
std::string_view BuiltInHintText();

} // namespace quorvane
