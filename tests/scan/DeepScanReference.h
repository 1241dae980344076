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

/// One file type's search over upper-case contents; appends to list1.
void FindNamesWithExtension(std::string contents, std::string extension,
                            std::vector<std::string> &list1);

/// Clears list1, upper-cases the bytes and runs the search once per ticked file type, in order.
void ScanFileContents(std::string_view bytes, const std::array<bool, 5> &ticked,
                      std::vector<std::string> &list1);

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
Result DeepScan(std::string_view bytes, const std::array<bool, 5> &ticked);

} // namespace quorvane::reference
