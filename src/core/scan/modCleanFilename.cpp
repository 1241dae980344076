#include "core/scan/modCleanFilename.h"

#include "core/scan/NameChars.h"

namespace quorvane {

// Every point of the text is the point of exactly one match: a match holds one point, and the
// search reaches each point that no earlier match took. So the last match holds the last point,
// and runs through the class characters after it. It starts at the run of class characters
// before that point, unless the match of the point before has already taken that run as its tail,
// which happens exactly when the run is directly preceded by a point.
std::string CleanFilename(std::string_view text)
{
    const auto point = text.rfind('.');
    if (point == std::string_view::npos) {
        return {};
    }
    std::size_t end = point + 1;
    while (end < text.size() && IsNameChar(text[end])) {
        ++end;
    }
    std::size_t begin = point;
    while (begin > 0 && IsNameChar(text[begin - 1])) {
        --begin;
    }
    if (begin > 0 && text[begin - 1] == '.') {
        begin = point;
    }
    return std::string(text.substr(begin, end - begin));
}

} // namespace quorvane
