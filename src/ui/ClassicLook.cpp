#include "ui/ClassicLook.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace quorvane {
namespace {

constexpr char kFrameStyle[] = "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                               "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                               " padding: 0 2px; background-color: palette(window); }";

} // namespace

void UseClassicFrames(QWidget &window)
{
    window.setStyleSheet(QString::fromLatin1(kFrameStyle));
}

void SetFontEverywhere(QWidget &window, const QFont &font)
{
    window.setFont(font);
    for (QWidget *control : window.findChildren<QWidget *>()) {
        control->setFont(font);
    }
}

void CentreOnOwner(QWidget &window, const QWidget *ownerWidget)
{
    const QWidget *owner = ownerWidget ? ownerWidget->window() : nullptr;
    if (!owner || !owner->isVisible()) {
        return; // Qt places a window without a visible owner itself
    }
    const QRect ownerFrame = owner->frameGeometry();
    const QSize decorations = ownerFrame.size() - owner->geometry().size();
    QRect frame(QPoint(), window.size() + decorations);
    frame.moveCenter(ownerFrame.center());
    if (const QScreen *screen = owner->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveRight(std::min(frame.right(), available.right()));
        frame.moveBottom(std::min(frame.bottom(), available.bottom()));
        frame.moveLeft(std::max(frame.left(), available.left()));
        frame.moveTop(std::max(frame.top(), available.top()));
    }
    window.move(frame.topLeft()); // a window's position is that of its frame
}

} // namespace quorvane
