#pragma once

#include <QFont>
#include <QString>

namespace quorvane {

/// The windows' layouts give fonts in points at 96 dots per inch; sizing them in pixels keeps text
/// and the fixed geometry in proportion on a screen whose font resolution differs.
constexpr int PointsToPixels(double points)
{
    return static_cast<int>(points * 96.0 / 72.0 + 0.5);
}

/// The narrow sans family that fits the windows' captions: the first installed of "Microsoft
/// Sans Serif", "Liberation Sans" and "Arimo" (both share Arial's widths), "Arial"; the empty
/// text when none is.
QString ClassicSansFamily();

/// A font of that family (or the platform's sans serif) at a size in pixels.
QFont ClassicFont(int pixels, bool bold);

/// "Arial" where it is installed, else its metric twins "Liberation Sans" or "Arimo".
QFont ArialFont(int pixels, bool bold);

} // namespace quorvane
