#include "ui/frmAbout.h"

#include "ui/ApplicationIcon.h"
#include "ui/ClassicFonts.h"
#include "ui/Twips.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace quorvane {

namespace {

constexpr char kFrameStyle[] = "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
                               "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                               " padding: 0 2px; background-color: palette(window); }";

QLabel *MakeLabel(QWidget *parent, const char *name, const char *text, const QRect &geometry)
{
    auto *label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

/// Places a window that is about to be shown so that its frame is centred on its owner's frame,
/// taking it to have the same decorations as the owner, and keeps it on the owner's screen. Qt's
/// own placement centres the client area and then allows for a guessed title bar, which leaves
/// the box noticeably above the centre.
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

} // namespace

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setWindowIcon(ApplicationIcon());
    setFixedSize(Twips(4860), Twips(4380));
    setSizeGripEnabled(false);

    // Frames with their caption on the border line, so that the first control inside, 16 pixels
    // down, sits just below the caption, as the layout expects; some styles put the caption
    // above the border and the border through that control.
    setStyleSheet(QString::fromLatin1(kFrameStyle));

    // The window's own font, 8.25 points, for every control but the title.
    const QFont windowFont = ClassicFont(PointsToPixels(8.25), false);
    setFont(windowFont);

    // Created in the window's control-list order, so that the stacking matches the drawing.
    fraCopyright = new QGroupBox(QStringLiteral("Copyright"), this);
    fraCopyright->setObjectName(QStringLiteral("fraCopyright"));
    fraCopyright->setGeometry(TwipsRect(120, 2160, 4695, 1695));
    lblWarning =
        MakeLabel(fraCopyright, "lblWarning", kAboutWarning, TwipsRect(120, 600, 4455, 975));
    lblCopyright =
        MakeLabel(fraCopyright, "lblCopyright", kAboutCopyright, TwipsRect(120, 240, 4455, 255));

    fraDescription = new QGroupBox(QStringLiteral("Description"), this);
    fraDescription->setObjectName(QStringLiteral("fraDescription"));
    fraDescription->setGeometry(TwipsRect(120, 720, 4695, 1335));
    lblDescription = MakeLabel(fraDescription, "lblDescription", kAboutDescription,
                               TwipsRect(120, 240, 4455, 975));

    butOK = new QPushButton(QStringLiteral("OK"), this);
    butOK->setObjectName(QStringLiteral("butOK"));
    butOK->setGeometry(TwipsRect(3480, 3960, 1335, 375));
    // Neither the default nor the cancel button: Enter presses it only while it has the focus
    // (see keyPressEvent), and Escape never does.
    butOK->setDefault(false);
    butOK->setAutoDefault(false);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(120, 120, 480, 480));
    Image1->setPixmap(ApplicationIcon().pixmap(QSize(32, 32)));

    lblQuorvane = new QLabel(QString::fromLatin1(kAboutProgramName), this);
    lblQuorvane->setObjectName(QStringLiteral("lblQuorvane"));
    lblQuorvane->setGeometry(TwipsRect(720, 240, 3615, 375));
    lblQuorvane->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblQuorvane->setFont(ArialFont(PointsToPixels(12), true));

    // OK is the only control that takes the focus.
    butOK->setFocus(Qt::OtherFocusReason);
    connect(butOK, &QPushButton::clicked, this, &frmAbout::butOK_Click);

    // Style sheets and inherited fonts do not mix: every control gets its font set explicitly.
    for (QWidget *control : findChildren<QWidget *>()) {
        if (control != lblQuorvane) {
            control->setFont(windowFont);
        }
    }
}

void frmAbout::ShowModal(QWidget *owner)
{
    frmAbout about(owner);
    CentreOnOwner(about, owner);
    about.exec();
}

void frmAbout::butOK_Click()
{
    accept();
}

void frmAbout::reject()
{
    accept();
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // Without a cancel button, Escape does nothing.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    // Enter on a focused button presses it, as Space does; the dialog itself has no default
    // button to press when the focus is elsewhere.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier && butOK->hasFocus()) {
        butOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace quorvane
