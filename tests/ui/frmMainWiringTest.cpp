// The main window's way to its other windows: the browse button, Check Dependencies, About, and
// the dependency list's click and double-click, with recorders in place of the modal windows.
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct Recorder {
    std::optional<std::string> chosenPath;
    int dialogsOpened = 0;
    std::string checkedPath;
    std::vector<std::string> checkedDependencies;
    std::vector<std::string> shownMissing;
    QWidget *checkOwner = nullptr;
    QWidget *aboutOwner = nullptr;
    std::vector<std::string> doubleClicked; // the current item at each double-click

    frmMainServices Services()
    {
        frmMainServices s;
        s.openFile = [this](QWidget *) {
            ++dialogsOpened;
            return chosenPath;
        };
        s.checkDependencies = [this](const std::string &path,
                                     const std::vector<std::string> &dependencies) {
            checkedPath = path;
            checkedDependencies = dependencies;
            return MissingDependencies{"", "", {dependencies.back()}};
        };
        s.showCheck = [this](const MissingDependencies &outcome, QWidget *owner) {
            shownMissing = outcome.missing;
            checkOwner = owner;
        };
        s.showAbout = [this](QWidget *owner) { aboutOwner = owner; };
        s.openDependency = [this](QWidget *, const std::string &, const std::string *name) {
            doubleClicked.push_back(name ? *name : "(none)");
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
        m_exe = exe.Build().WriteTo(m_dir / "app.exe").string();
    }
    QPushButton *Button(frmMain &w, const char *name)
    {
        return w.findChild<QPushButton *>(QLatin1String(name));
    }

    QRect RowRect(frmMain &w, int row)
    {
        return w.LstDep->visualRect(w.LstDep->model()->index(row, 0));
    }

    test::TempDir m_dir;
    std::string m_exe;
    Recorder m_recorder;
};

TEST_F(MainWindowWiring, BrowseButtonPutsTheChosenPathInThePathBoxWhichScansIt)
{
    frmMain window("", m_recorder.Services());
    m_recorder.chosenPath = m_exe;
    QTest::mouseClick(Button(window, "cmdOpen"), Qt::LeftButton);
    EXPECT_EQ(window.txtpath->text().toStdString(), m_exe);
    EXPECT_EQ(window.ImportsScansRun(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }));
    EXPECT_EQ(window.LstDep->Names().Count(), 3);
    EXPECT_TRUE(window.cmdCheck->isEnabled());

    // Cancel: nothing changes, no scan runs.
    m_recorder.chosenPath.reset();
    QTest::mouseClick(Button(window, "cmdOpen"), Qt::LeftButton);
    EXPECT_EQ(m_recorder.dialogsOpened, 2);
    EXPECT_EQ(window.Path(), m_exe);
    EXPECT_EQ(window.ImportsScansRun(), 1);
}

TEST_F(MainWindowWiring, CheckDependenciesHandsOverThePathAndTheListInListOrder)
{
    frmMain window(m_exe, m_recorder.Services());
    QTest::mouseClick(window.cmdCheck, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_recorder.checkOwner != nullptr; }));
    EXPECT_EQ(m_recorder.checkedPath, m_exe);
    EXPECT_EQ(m_recorder.checkedDependencies,
              (std::vector<std::string>{"a very long library name indeed.dll", "KERNEL32.dll",
                                        "zlib1.dll"}));
    EXPECT_EQ(m_recorder.shownMissing, std::vector<std::string>{"zlib1.dll"});
    EXPECT_EQ(m_recorder.checkOwner, &window);
}

TEST_F(MainWindowWiring, AboutOpensOverTheMainWindow)
{
    frmMain window("", m_recorder.Services());
    QTest::mouseClick(window.cmdAbout, Qt::LeftButton);
    EXPECT_EQ(m_recorder.aboutOwner, &window);
}

// What the user reads in the tooltip now showing: its label's text, as markup when Qt takes it so.
QString ToolTipShown()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *label = qobject_cast<QLabel *>(widget);
        if (label && label->inherits("QTipLabel") && label->isVisible()) {
            if (label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text())) {
                return label->text();
            }
            QTextDocument document;
            document.setHtml(label->text());
            return document.toPlainText();
        }
    }
    return QStringLiteral("(no tooltip)");
}

TEST_F(MainWindowWiring, ClickShowsTheItemsFullTextAsTheListsToolTipAsPlainText)
{
    frmMain window(m_exe, m_recorder.Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, RowRect(window, 0).center());
    EXPECT_EQ(window.LstDep->toolTip(), "a very long library name indeed.dll");
    // A move by keyboard counts as a click too.
    QTest::keyClick(window.LstDep, Qt::Key_Down);
    EXPECT_EQ(window.LstDep->toolTip(), "KERNEL32.dll");

    // A name from the file is never markup, also where Qt would take text for it.
    test::PeBuilder markup;
    markup.imports = {"<b>bold</b>.dll"};
    window.txtpath->setText(
        QString::fromStdString(markup.Build().WriteTo(m_dir / "markup.exe").string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }));
    const QPoint at = RowRect(window, 0).center();
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
    QHelpEvent rest(QEvent::ToolTip, at, window.LstDep->viewport()->mapToGlobal(at));
    QApplication::sendEvent(window.LstDep->viewport(), &rest);
    EXPECT_EQ(ToolTipShown(), "<b>bold</b>.dll");
}

TEST_F(MainWindowWiring, DoubleClickOpensTheCurrentItem)
{
    frmMain window(m_exe, m_recorder.Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect last = RowRect(window, 2);
    // A real double-click: the first press selects, the second arrives as a double-click.
    QTest::mousePress(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseRelease(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, last.center());
    EXPECT_EQ(m_recorder.doubleClicked, std::vector<std::string>{"zlib1.dll"});
    EXPECT_EQ(window.LstDep->Names().Count(), 3) << "the first window stays as it was";
    EXPECT_EQ(window.Path(), m_exe);
}

} // namespace
} // namespace quorvane
