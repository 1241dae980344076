#pragma once

#include <QFont>

class QWidget;

namespace quorvane {

/// Frames (group boxes) drawn with their caption on the border line, as the windows' layouts
/// expect: the first control inside a frame, 16 pixels down, sits just below the caption. Qt's
/// own styles put the caption above the border, which then runs through that control.
void UseClassicFrames(QWidget &window);

/// Gives every control of window, and window itself, font: a style sheet stops a window's font
/// from reaching its controls.
void SetFontEverywhere(QWidget &window, const QFont &font);

/// Places a window that is about to be shown so that its frame is centred on its owner's frame,
/// taking it to have the same decorations as the owner, and keeps it on the owner's screen. Qt's
/// own placement centres the client area and then allows for a guessed title bar, which leaves
/// the window noticeably above the centre.
void CentreOnOwner(QWidget &window, const QWidget *owner);

} // namespace quorvane
