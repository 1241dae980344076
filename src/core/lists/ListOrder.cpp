#include "core/lists/ListOrder.h"

#include <algorithm>

namespace quorvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of UTF-8 text; a byte that starts no valid sequence is one U+FFFD.
char32_t NextCodePoint(std::string_view text, std::size_t &pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        minimum = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    if (text.size() - pos < length) {
        ++pos;
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0u) != 0x80u) {
            ++pos;
            return kReplacement;
        }
        value = (value << 6) | (byte(pos + i) & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return value;
}

// Unicode's simple case folding for the letters that Windows-1252 holds.
char32_t Folded(char32_t c)
{
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 0x20;
    }
    switch (c) {
    case 0xB5: // micro sign
        return 0x3BC;
    case 0x152: // OE
    case 0x160: // S caron
    case 0x17D: // Z caron
        return c + 1;
    case 0x178: // Y diaeresis
        return 0xFF;
    default:
        return c;
    }
}

// -1, 0 or 1 as a compares with b, code point by code point, each passed through map first.
template <typename Map> int Compare(std::string_view a, std::string_view b, Map map)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = map(NextCodePoint(a, i));
        const char32_t y = map(NextCodePoint(b, j));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (i < a.size()) {
        return 1;
    }
    return j < b.size() ? -1 : 0;
}

} // namespace

bool DependencyListLess(std::string_view a, std::string_view b)
{
    if (const int folded = Compare(a, b, Folded); folded != 0) {
        return folded < 0;
    }
    if (const int plain = Compare(a, b, [](char32_t c) { return c; }); plain != 0) {
        return plain < 0;
    }
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
        return static_cast<unsigned char>(l) < static_cast<unsigned char>(r);
    });
}

} // namespace quorvane
