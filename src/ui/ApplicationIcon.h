#pragma once

#include <QIcon>

namespace quorvane {

/// Resource path of the 32 by 32 application icon compiled into the program.
inline constexpr char kApplicationIconResource[] = ":/quorvane/quorvane.png";

/// The application icon, which every window of the program shows.
QIcon ApplicationIcon();

/// Makes the application icon the default icon of every window. Call once, after the
/// QApplication exists and before the first window is shown.
void InstallApplicationIcon();

} // namespace quorvane
