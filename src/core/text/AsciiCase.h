#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

// Letter case as Windows' file-name rules know it: A to Z and a to z only. Every other byte,
// bytes from 0x80 up included, stays as it is, so a name's bytes are never reinterpreted.

/// a to z become A to Z.
constexpr std::uint8_t AsciiUpper(std::uint8_t byte)
{
    return byte >= 'a' && byte <= 'z' ? static_cast<std::uint8_t>(byte - ('a' - 'A')) : byte;
}

constexpr char AsciiUpper(char c)
{
    return static_cast<char>(AsciiUpper(static_cast<std::uint8_t>(c)));
}

/// A to Z become a to z.
constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// The text in ASCII lower case: the form in which names are compared and looked up.
std::string ToAsciiLower(std::string_view text);

/// Whether two texts are equal without regard to ASCII letter case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

/// Whether text begins with prefix, without regard to ASCII letter case.
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

} // namespace quorvane
