// The three windows' layouts, through properties that fail whatever the numbers are: a fixed size,
// every visible control inside the client area, no two overlapping (frames may share an edge), the
// focus going round the controls in order.
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace quorvane {
namespace {

TEST(WindowLayout, FixedInsideTheClientAreaWithoutOverlapsAndTabbingInOrder)
{
    const std::pair<std::function<QWidget *()>, QStringList> windows[] = {
        {[] { return new frmMain("\"a path.exe\""); },
         {"txtpath", "cmdOpen", "LstDep", "cmdDep", "cmdClose", "cmdAbout", "cmdCheck",
          "cmdUnselect", "cmdSelect", "optScan_0", "txtpath"}},
        {[] {
             return new frmCheck(MissingDependencies{"/app/", "/sys/", {"a.dll"}}, nullptr);
         },
         {"cmdExit", "cmdCopy", "lstCheck", "cmdExit"}},
        {[] { return new frmAbout(); }, {"butOK", "butOK"}},
    };
    for (const auto &[make, tabs] : windows) {
        const std::unique_ptr<QWidget> window(make());
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "a fixed size";

        std::vector<std::pair<QWidget *, QRect>> controls; // each on the window
        for (QWidget *child : window->findChildren<QWidget *>()) {
            if (child->isVisibleTo(window.get()) && !child->objectName().isEmpty() &&
                !child->objectName().startsWith("qt_")) {
                controls.emplace_back(child,
                                      QRect(child->mapTo(window.get(), QPoint()), child->size()));
                EXPECT_TRUE(window->rect().contains(controls.back().second))
                    << child->objectName().toStdString();
            }
        }
        for (const auto &[a, onWindowA] : controls) {
            for (const auto &[b, onWindowB] : controls) {
                const bool nested = a == b || a->isAncestorOf(b) || b->isAncestorOf(a);
                const bool frames = qobject_cast<QGroupBox *>(a) && qobject_cast<QGroupBox *>(b);
                EXPECT_TRUE(nested || frames || !onWindowA.intersects(onWindowB))
                    << a->objectName().toStdString() << " overlaps "
                    << b->objectName().toStdString();
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
