#include "ui/frmAbout.h"

#include "ui/ApplicationIcon.h"
#include "ui/ClassicFonts.h"
#include "ui/ClassicLook.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace quorvane {

namespace {

/// Layout figures are kept in twips (15 to a pixel at 96 dots per inch) so that each line can be
/// checked against the window's drawing.
constexpr int Twips(int twips)
{
    return twips / 15;
}

QRect TwipsRect(int left, int top, int width, int height)
{
    return {Twips(left), Twips(top), Twips(width), Twips(height)};
}

QLabel *MakeLabel(QWidget *parent, const char *name, const char *text, const QRect &geometry)
{
    auto *label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
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

    UseClassicFrames(*this);

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
