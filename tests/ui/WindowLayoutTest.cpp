// The three windows' layouts, through properties that fail whatever the numbers are: a fixed size,
// every visible control inside the client area, no two overlapping (frames may share an edge), the
// focus going round the controls in order.
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(WindowLayout, FixedInsideTheClientAreaWithoutOverlapsAndTabbingInOrder)
{
    // Each window, and its controls in the order the Tab key visits them, round to the first.
    const std::pair<QWidget *, QStringList> windows[] = {
        {new frmMain("\"a path.exe\""),
         {"txtpath", "cmdOpen", "LstDep", "cmdDep", "cmdClose", "cmdAbout", "cmdCheck",
          "cmdUnselect", "cmdSelect", "optScan_0", "txtpath"}},
        {new frmCheck(MissingDependencies{"/a/", "/s/", {"a.dll"}}, nullptr),
         {"cmdExit", "cmdCopy", "lstCheck", "cmdExit"}},
        {new frmAbout(), {"butOK", "butOK"}},
    };
    for (const auto &[window, tabs] : windows) {
        const std::unique_ptr<QWidget> owned(window);
        SCOPED_TRACE(qPrintable(window->objectName()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "a fixed size";

        QWidgetList controls = window->findChildren<QWidget *>();
        controls.removeIf([&](QWidget *c) {
            return !c->isVisibleTo(window) || c->objectName().isEmpty() ||
                   c->objectName().startsWith("qt_");
        });
        const auto at = [&](QWidget *c) { return QRect(c->mapTo(window, QPoint()), c->size()); };
        for (QWidget *a : controls) {
            EXPECT_TRUE(window->rect().contains(at(a))) << qPrintable(a->objectName());
            for (QWidget *b : controls) {
                const bool nested = a == b || a->isAncestorOf(b) || b->isAncestorOf(a);
                const bool frames = qobject_cast<QGroupBox *>(a) && qobject_cast<QGroupBox *>(b);
                EXPECT_TRUE(nested || frames || !at(a).intersects(at(b)))
                    << qPrintable(a->objectName()) << " overlaps " << qPrintable(b->objectName());
            }
        }

        for (const QString &name : tabs) { // the focus on each in turn
            EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }
}

} // namespace
} // namespace quorvane
