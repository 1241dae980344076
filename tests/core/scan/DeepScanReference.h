#pragma once
// The deep scan written out step by step, as slow and as plain as can be: the walk back one
// character at a time to a NUL or a backslash, the regular expression run over every name, the
// de-duplication that compares every pair. The fast scan must give exactly what this gives, on
// every input; the tests and the fuzz targets compare the two. Quadratic: keep the inputs small.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::reference {

/// The last match of the name pattern, through std::regex (ECMAScript, ignore case, global).
std::string CleanFilename(const std::string &text);

/// What cleans each name text. std::regex takes time in the square of a long run of name
/// characters, so a fuzz target over kilobytes passes the program's linear CleanFilename instead.
using Cleaner = std::string (*)(const std::string &);

struct Result {
    std::vector<std::string> scratch;
    std::vector<std::string> dependencies;
};

/// The search once per ticked type on the upper-cased bytes, the duplicates removed, then the
/// items whose last four characters, trimmed of spaces, begin with a point.
Result DeepScan(std::string_view bytes, const std::array<bool, 5> &ticked,
                Cleaner clean = CleanFilename);

} // namespace quorvane::reference
