// The main window's way to its other windows: the browse button, Check Dependencies, About, and
// the dependency list's click and double-click, with recorders in place of the modal windows.
#include "ui/SortedListBox.h"
#include "ui/frmMain.h"

#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct Recorder {
    std::optional<QString> chosenPath;
    int dialogsOpened = 0;
    QString checkedPath;
    QStringList checkedDependencies;
    QWidget *checkOwner = nullptr;
    QWidget *aboutOwner = nullptr;
    QStringList doubleClicked; // the current item at each double-click

    frmMainServices Services()
    {
        frmMainServices s;
        s.openFile = [this](QWidget *) {
            ++dialogsOpened;
            return chosenPath;
        };
        s.showCheck = [this](const QString &path, const QStringList &dependencies, QWidget *owner) {
            checkedPath = path;
            checkedDependencies = dependencies;
            checkOwner = owner;
        };
        s.showAbout = [this](QWidget *owner) { aboutOwner = owner; };
        s.openDependency = [this](QWidget *, const QString &, const QListWidget &list) {
            doubleClicked.push_back(list.currentItem() ? list.currentItem()->text() : QString());
        };
        return s;
    }
};

class MainWindowWiring : public ::testing::Test {
protected:
    MainWindowWiring()
    {
        test::PeBuilder exe;
        exe.imports = {"zlib1.dll", "KERNEL32.dll", "a very long library name indeed.dll"};
        m_exe = QString::fromStdString(exe.Build().WriteTo(m_dir / "app.exe").string());
    }
    QPushButton *Button(frmMain &w, const char *name)
    {
        return w.findChild<QPushButton *>(QLatin1String(name));
    }

    test::TempDir m_dir;
    QString m_exe;
    Recorder m_recorder;
};

TEST_F(MainWindowWiring, BrowseButtonPutsTheChosenPathInThePathBoxWhichScansIt)
{
    frmMain window(QString{}, m_recorder.Services());
    m_recorder.chosenPath = m_exe;
    QTest::mouseClick(Button(window, "cmdOpen"), Qt::LeftButton);
    EXPECT_EQ(window.txtpath->text(), m_exe);
    EXPECT_EQ(window.ImportsScansRun(), 1);
    EXPECT_EQ(window.LstDep->count(), 3);
    EXPECT_TRUE(window.cmdCheck->isEnabled());

    // Cancel: nothing changes, no scan runs.
    m_recorder.chosenPath.reset();
    QTest::mouseClick(Button(window, "cmdOpen"), Qt::LeftButton);
    EXPECT_EQ(m_recorder.dialogsOpened, 2);
    EXPECT_EQ(window.txtpath->text(), m_exe);
    EXPECT_EQ(window.ImportsScansRun(), 1);
}

TEST_F(MainWindowWiring, CheckDependenciesHandsOverThePathAndTheListInListOrder)
{
    frmMain window(m_exe, m_recorder.Services());
    QTest::mouseClick(window.cmdCheck, Qt::LeftButton);
    EXPECT_EQ(m_recorder.checkedPath, m_exe);
    EXPECT_EQ(m_recorder.checkedDependencies,
              (QStringList{"a very long library name indeed.dll", "KERNEL32.dll", "zlib1.dll"}));
    EXPECT_EQ(m_recorder.checkOwner, &window);
}

TEST_F(MainWindowWiring, AboutOpensOverTheMainWindow)
{
    frmMain window(QString{}, m_recorder.Services());
    QTest::mouseClick(window.cmdAbout, Qt::LeftButton);
    EXPECT_EQ(m_recorder.aboutOwner, &window);
}

TEST_F(MainWindowWiring, ClickShowsTheItemsFullTextAsTheListsToolTip)
{
    frmMain window(m_exe, m_recorder.Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect first = window.LstDep->visualItemRect(window.LstDep->item(0));
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(window.LstDep->toolTip(), "a very long library name indeed.dll");
    // A move by keyboard counts as a click too.
    QTest::keyClick(window.LstDep, Qt::Key_Down);
    EXPECT_EQ(window.LstDep->toolTip(), "KERNEL32.dll");
}

TEST_F(MainWindowWiring, DoubleClickOpensTheCurrentItem)
{
    frmMain window(m_exe, m_recorder.Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect last = window.LstDep->visualItemRect(window.LstDep->item(2));
    // A real double-click: the first press selects, the second arrives as a double-click.
    QTest::mousePress(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseRelease(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    EXPECT_EQ(m_recorder.doubleClicked, QStringList{"zlib1.dll"});
    EXPECT_EQ(window.LstDep->count(), 3) << "the first window stays as it was";
    EXPECT_EQ(window.txtpath->text(), m_exe);
}

} // namespace
} // namespace quorvane
