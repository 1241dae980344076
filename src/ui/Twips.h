#pragma once

#include <QRect>

namespace quorvane {

/// The windows' layouts are drawn in twips, 15 to a pixel at 96 dots per inch. Every figure is kept
/// in twips in the code, so that each geometry line can be checked against its window's drawing.
constexpr int Twips(int twips)
{
    return twips / 15;
}

/// A rectangle given in twips, in pixels.
inline QRect TwipsRect(int left, int top, int width, int height)
{
    return {Twips(left), Twips(top), Twips(width), Twips(height)};
}

} // namespace quorvane
