#pragma once

#include <string_view>

namespace quorvane {

/// The order of the sorted dependency and export lists: names compared code point by code point
/// without regard to letter case, ties in plain code-point order (so "A" before "a"). Letter case
/// covers ASCII and every letter of Windows-1252, the code page that names from a file are read in,
/// folded as Unicode folds them. Text that is not UTF-8 compares its stray bytes as U+FFFD, then
/// byte by byte.
bool DependencyListLess(std::string_view a, std::string_view b);

} // namespace quorvane
