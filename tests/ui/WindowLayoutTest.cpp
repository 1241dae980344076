// The three windows' layouts, through properties that can fail whatever the numbers: a fixed
// size, every visible control inside the client area, no two visible controls overlapping, the
// focus going round the controls in order, and Escape closing none of them.
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quorvane {
namespace {

// A window's own controls, each with its rectangle on the window. Frames may share an edge.
struct Control {
    QWidget *widget;
    QRect onWindow;
};

std::vector<Control> VisibleControls(QWidget &window)
{
    std::vector<Control> controls;
    for (QWidget *child : window.findChildren<QWidget *>()) {
        if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_") &&
            child->isVisibleTo(&window)) {
            controls.push_back({child, QRect(child->mapTo(&window, QPoint(0, 0)), child->size())});
        }
    }
    return controls;
}

TEST(WindowLayout, FixedInsideTheClientAreaWithoutOverlapsAndTabbingInOrder)
{
    const struct {
        std::function<std::unique_ptr<QWidget>()> make;
        QStringList tabs; // where the focus starts, then after each Tab
    } windows[] = {
        {[] { return std::make_unique<frmMain>("\"a path.exe\""); },
         {"txtpath", "cmdOpen", "LstDep", "cmdDep", "cmdClose", "cmdAbout", "cmdCheck",
          "cmdUnselect", "cmdSelect", "optScan_0", "txtpath"}},
        {[] {
             return std::make_unique<frmCheck>(MissingDependencies{"/app/", "/sys/", {"a.dll"}},
                                               nullptr);
         },
         {"cmdExit", "cmdCopy", "lstCheck", "cmdExit"}},
        {[] { return std::make_unique<frmAbout>(); }, {"butOK", "butOK"}},
    };
    for (const auto &w : windows) {
        const std::unique_ptr<QWidget> window = w.make();
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        const QSize size = window->size();
        window->resize(size + QSize(100, 100));
        EXPECT_EQ(window->size(), size);
        EXPECT_EQ(window->minimumSize(), window->maximumSize());

        const std::vector<Control> controls = VisibleControls(*window);
        EXPECT_GE(controls.size(), 4u);
        for (const Control &a : controls) {
            EXPECT_TRUE(window->rect().contains(a.onWindow))
                << a.widget->objectName().toStdString();
            for (const Control &b : controls) {
                const bool nested = a.widget == b.widget || a.widget->isAncestorOf(b.widget) ||
                                    b.widget->isAncestorOf(a.widget);
                const bool frames =
                    qobject_cast<QGroupBox *>(a.widget) && qobject_cast<QGroupBox *>(b.widget);
                EXPECT_TRUE(nested || frames || !a.onWindow.intersects(b.onWindow))
                    << a.widget->objectName().toStdString() << " overlaps "
                    << b.widget->objectName().toStdString();
            }
        }

        QStringList visited;
        for (qsizetype i = 0; i < w.tabs.size(); ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(visited, w.tabs);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible()) << "Escape closes nothing";
    }
}

TEST(WindowLayout, TheAboutBoxsTitleBarCloseActsAsOk)
{
    frmAbout box;
    box.show();
    EXPECT_TRUE(box.close()); // what the title bar's close button asks for
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
} // namespace quorvane
