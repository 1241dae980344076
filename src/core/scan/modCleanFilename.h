#pragma once

#include <string>
#include <string_view>

namespace quorvane {

/// The value of the last match of the name pattern `([A-Z,a-z,0-9]*\.[A-Z,a-z,0-9]*)` in text,
/// matched globally (non-overlapping, left to right, greedy) and without regard to case; the empty
/// text when nothing matches. The class is the ASCII letters, the digits and the comma; every other
/// byte, and every byte from 0x80 up, stands outside it. Linear in the length of the text.
std::string CleanFilename(std::string_view text);

} // namespace quorvane
