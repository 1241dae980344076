#pragma once
// The deep scan written out step by step, as slow and as plain as can be: the buffer that cuts its
// text at the first NUL, the walk back one character at a time, the regular expression run over
// every name, the de-duplication that compares every pair. The fast scan must give exactly what
// this gives, on every input; the tests and the fuzz targets compare the two. Quadratic: keep the
// inputs small.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::reference {

/// The last match of the name pattern, through std::regex (ECMAScript, ignore case, global).
std::string CleanFilename(const std::string &text);

/// What the search runs over each name text: CleanFilename above unless told otherwise. std::regex
/// takes time in the square of a long run of name characters, once per name in it, so a fuzz
/// target over kilobytes without a NUL passes the program's linear CleanFilename instead (which
/// its own fuzz target holds against this one).
using Cleaner = std::string (*)(const std::string &);

/// One file type's search over upper-case contents; appends to list1.
void FindNamesWithExtension(std::string contents, std::string extension,
                            std::vector<std::string> &list1, Cleaner clean = CleanFilename);

/// Clears list1, upper-cases the bytes and runs the search once per ticked file type, in order.
void ScanFileContents(std::string_view bytes, const std::array<bool, 5> &ticked,
                      std::vector<std::string> &list1, Cleaner clean = CleanFilename);

/// Removes every item whose upper-case form equals that of an earlier non-empty item.
void RemoveDuplicateNames(std::vector<std::string> &list1);

/// Appends to lstDep every item whose last four characters, trimmed of spaces, begin with a point.
void CopyNamesToDependencyList(const std::vector<std::string> &list1,
                               std::vector<std::string> &lstDep);

struct Result {
    std::vector<std::string> scratch;
    std::vector<std::string> dependencies;
};

/// The three steps in the order the window runs them.
Result DeepScan(std::string_view bytes, const std::array<bool, 5> &ticked,
                Cleaner clean = CleanFilename);

} // namespace quorvane::reference
