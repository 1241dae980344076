// The About box: its layout and texts, its keys, and how it opens and closes.
#include "ui/frmAbout.h"
#include "ui/ApplicationIcon.h"

#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace quorvane {
namespace {

/// Everything a user can see of the box, to compare two openings.
struct AboutContent {
    QString caption;
    QSize size;
    std::vector<std::pair<QString, QString>> texts; // object name, text
    std::vector<std::pair<QString, QRect>> geometry;
    QString titleFamily;
    bool titleBold;
    double titlePoints;

    bool operator==(const AboutContent &) const = default;
};

AboutContent ContentOf(const frmAbout &box)
{
    AboutContent content{box.windowTitle(), box.size(), {}, {}, {}, {}, {}};
    for (const QLabel *label : box.findChildren<QLabel *>()) {
        content.texts.emplace_back(label->objectName(), label->text());
        content.geometry.emplace_back(label->objectName(), label->geometry());
    }
    for (const QGroupBox *frame : box.findChildren<QGroupBox *>()) {
        content.texts.emplace_back(frame->objectName(), frame->title());
        content.geometry.emplace_back(frame->objectName(), frame->geometry());
    }
    const QFontInfo title(box.lblQuorvane->font());
    content.titleFamily = title.family();
    content.titleBold = title.bold();
    content.titlePoints = title.pointSizeF();
    return content;
}

template <typename T> T *Child(const QWidget &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

TEST(frmAbout, LayoutAndTextsFollowTheDrawing)
{
    frmAbout box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box.size(), QSize(324, 292));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed size";

    const struct {
        const char *name;
        QRect geometry;
        const char *parent;
    } layout[] = {
        {"fraCopyright", {8, 144, 313, 113}, "frmAbout"},
        {"lblWarning", {8, 40, 297, 65}, "fraCopyright"},
        {"lblCopyright", {8, 16, 297, 17}, "fraCopyright"},
        {"fraDescription", {8, 48, 313, 89}, "frmAbout"},
        {"lblDescription", {8, 16, 297, 65}, "fraDescription"},
        {"butOK", {232, 264, 89, 25}, "frmAbout"},
        {"Image1", {8, 8, 32, 32}, "frmAbout"},
        {"lblQuorvane", {48, 16, 241, 25}, "frmAbout"},
    };
    for (const auto &item : layout) {
        const QWidget *widget = Child<QWidget>(box, item.name);
        ASSERT_NE(widget, nullptr) << item.name;
        EXPECT_EQ(widget->geometry(), item.geometry) << item.name;
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(item.parent))
            << item.name;
    }

    EXPECT_EQ(Child<QGroupBox>(box, "fraDescription")->title(), QStringLiteral("Description"));
    EXPECT_EQ(Child<QGroupBox>(box, "fraCopyright")->title(), QStringLiteral("Copyright"));
    EXPECT_EQ(Child<QPushButton>(box, "butOK")->text(), QStringLiteral("OK"));
    EXPECT_EQ(Child<QLabel>(box, "lblQuorvane")->text(), QStringLiteral("Quorvane"));
    EXPECT_EQ(Child<QLabel>(box, "lblDescription")->text(),
              QStringLiteral("This program analyses EXE, DLL and OCX files to determine their "
                             "external dependencies and validates these against the system on "
                             "which the application is installed."));
    EXPECT_TRUE(Child<QLabel>(box, "lblCopyright")->text().startsWith(QStringLiteral("Copyright")));
    EXPECT_FALSE(Child<QLabel>(box, "lblWarning")->text().isEmpty());
    for (const char *name : {"lblDescription", "lblWarning", "lblCopyright"}) {
        EXPECT_TRUE(Child<QLabel>(box, name)->wordWrap()) << name;
    }
    EXPECT_TRUE(box.lblQuorvane->alignment().testFlag(Qt::AlignHCenter));
}

TEST(frmAbout, EveryTextFitsItsLabel)
{
    frmAbout box;
    for (const QLabel *label : {box.lblDescription, box.lblCopyright, box.lblWarning}) {
        const QFontMetrics metrics(label->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                                  Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
    }
    const QFontMetrics title(box.lblQuorvane->font());
    EXPECT_LE(title.horizontalAdvance(box.lblQuorvane->text()), box.lblQuorvane->width());
    EXPECT_LE(title.height(), box.lblQuorvane->height());
}

TEST(frmAbout, FontsAndIcon)
{
    frmAbout box;
    box.show(); // fonts as the styles leave them once the window is polished
    // 12 and 8.25 points at 96 dots per inch, in pixels so that text keeps to the fixed layout.
    const QFontInfo title(box.lblQuorvane->font());
    EXPECT_TRUE(title.family() == QStringLiteral("Arial") ||
                title.family() == QStringLiteral("Liberation Sans"))
        << title.family().toStdString();
    EXPECT_TRUE(title.bold());
    EXPECT_EQ(title.pixelSize(), 16);
    for (const char *name : {"fraDescription", "lblDescription", "fraCopyright", "lblWarning",
                             "lblCopyright", "butOK"}) {
        const QFontInfo font(Child<QWidget>(box, name)->font());
        EXPECT_EQ(font.pixelSize(), 11) << name;
        EXPECT_FALSE(font.bold()) << name;
        EXPECT_EQ(font.family(), box.font().family()) << name;
    }

    const QPixmap image = box.Image1->pixmap();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.toImage(), QImage(QString::fromLatin1(kApplicationIconResource))
                                   .convertToFormat(image.toImage().format()));
    EXPECT_FALSE(box.windowIcon().isNull());
}

TEST(frmAbout, OkHasTheFocusAndIsNeitherDefaultNorCancel)
{
    QWidget owner;
    owner.setGeometry(100, 100, 341, 381);
    owner.show();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        frmAbout box(&owner);
        box.show();
        QApplication::setActiveWindow(&box);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        EXPECT_EQ(box.focusWidget(), box.butOK);
        EXPECT_FALSE(box.butOK->isDefault());
        EXPECT_FALSE(box.butOK->autoDefault());

        // Escape does nothing: there is no cancel button.
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible());

        // Enter or Space on the focused OK closes it.
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_FALSE(box.isVisible()) << key;
        EXPECT_EQ(box.result(), QDialog::Accepted);
    }
}

TEST(frmAbout, TitleBarCloseActsAsOk)
{
    frmAbout box;
    box.show();
    EXPECT_TRUE(box.close()); // what the title bar's close button asks for
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    frmAbout viaOk;
    viaOk.show();
    viaOk.butOK->click();
    EXPECT_FALSE(viaOk.isVisible());
    EXPECT_EQ(viaOk.result(), QDialog::Accepted);
}

/// Runs ShowModal(owner) with a user who looks at the box and then presses OK. A safety timer
/// closes the box, and fails the test, should the user never get to it.
AboutContent ShowModalAndPressOk(QWidget *owner, QRect *geometry, bool *modal)
{
    AboutContent content;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no modal About box";
            return;
        }
        content = ContentOf(*box);
        *geometry = box->frameGeometry();
        *modal = box->isModal() && box->parentWidget() == owner;
        box->butOK->click();
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] {
        if (auto *box = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the About box stayed open";
            box->close();
        }
    });
    safety.start(10000);
    frmAbout::ShowModal(owner);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    return content;
}

TEST(frmAbout, OpensModallyCentredOnItsOwnerWithTheSameContentEachTime)
{
    QWidget owner;
    owner.setGeometry(50, 60, 341, 381);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

    QRect first;
    QRect second;
    bool modal = false;
    const AboutContent firstContent = ShowModalAndPressOk(&owner, &first, &modal);
    EXPECT_TRUE(modal);
    EXPECT_LE((first.center() - owner.frameGeometry().center()).manhattanLength(), 2);

    owner.move(400, 300); // wherever the main window stands
    const AboutContent secondContent = ShowModalAndPressOk(&owner, &second, &modal);
    EXPECT_TRUE(modal);
    EXPECT_LE((second.center() - owner.frameGeometry().center()).manhattanLength(), 2);

    // Near the screen's edge the box stays on the screen.
    const QRect screen = owner.screen()->availableGeometry();
    owner.move(screen.right() - 100, screen.bottom() - 100);
    QRect third;
    ShowModalAndPressOk(&owner, &third, &modal);
    EXPECT_TRUE(screen.contains(third)) << third.x() << "," << third.y();

    EXPECT_EQ(firstContent, secondContent);
    EXPECT_EQ(firstContent.caption, QStringLiteral("About"));
    EXPECT_FALSE(firstContent.texts.empty());
    EXPECT_TRUE(owner.findChildren<frmAbout *>().isEmpty()) << "destroyed when closed";
}

} // namespace
} // namespace quorvane
