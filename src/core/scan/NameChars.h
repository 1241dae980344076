#pragma once

#include <array>
#include <cstdint>

namespace quorvane {

/// The characters a found name is made of: the ASCII letters, the digits and the comma. Every other
/// byte ends a name, bytes from 0x80 up included.
inline constexpr std::array<bool, 256> kNameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c) {
        table[static_cast<std::size_t>(c)] = true;
        table[static_cast<std::size_t>(c - 'A' + 'a')] = true;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<std::size_t>(c)] = true;
    }
    table[','] = true;
    return table;
}();

inline bool IsNameChar(std::uint8_t byte)
{
    return kNameChars[byte];
}

inline bool IsNameChar(char c)
{
    return kNameChars[static_cast<std::uint8_t>(c)];
}

} // namespace quorvane
