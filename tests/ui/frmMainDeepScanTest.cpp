// The Deep Scan in the window: the search runs on a worker thread, the newest request owns the
// lists, and the lists end exactly as the scan's steps leave them.
#include "ui/SortedListBox.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace quorvane {
namespace {

class DeepScanWindow : public ::testing::Test {
protected:
    QString Write(const char *name, std::string_view bytes)
    {
        return QString::fromStdString(m_dir.Write(name, bytes).string());
    }

    // Chooses the Deep Scan on path and waits for its names to reach the lists.
    static void ScanAndWait(frmMain &window, const QString &path)
    {
        QSignalSpy applied(&window, &frmMain::DeepScanApplied);
        window.txtpath->setText(path);
        window.optScan[1]->setChecked(true);
        ASSERT_TRUE(applied.wait(10000));
    }

    test::TempDir m_dir;
};

TEST_F(DeepScanWindow, ListsHoldTheDistinctNamesScratchInScanOrderDependenciesSorted)
{
    const QString path = Write("names.bin", std::string_view("\0b.ocx\0A.DLL\0B.OCX\0c.dll\0", 26));
    frmMain window(QString{});
    ScanAndWait(window, path);
    EXPECT_EQ(ItemTexts(*window.List1), (QStringList{"A.DLL", "C.DLL", "B.OCX"}));
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "B.OCX", "C.DLL"}));
    EXPECT_EQ(ItemTexts(*window.LstImp), (QStringList{"Error mapping file."}))
        << "the imports scan of the path ran first; the deep scan left its export list alone";
    EXPECT_FALSE(window.DeepScanRunning());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer is gone";

    // Only the DLL type ticked: the OCX name goes.
    QSignalSpy applied(&window, &frmMain::DeepScanApplied);
    window.cmdUnselect->click();
    window.chkType[0]->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.DeepScanRunning(); }, 10000));
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "C.DLL"}));
    EXPECT_EQ(window.DeepScansRun(), 1 + 5 + 1);
}

TEST_F(DeepScanWindow, ShowsTheBusyPointerWhileScanning)
{
    const QString path = Write("one.bin", std::string_view("\0ONE.DLL\0", 9));
    frmMain window(path);
    QSignalSpy applied(&window, &frmMain::DeepScanApplied);
    window.optScan[1]->setChecked(true);
    EXPECT_TRUE(window.LstDep->count() == 0) << "the list empties at once";
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(applied.wait(10000));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"ONE.DLL"});
}

TEST_F(DeepScanWindow, NewerRequestSupersedesARunningScan)
{
    // A large first file keeps its scan busy while the second request arrives; whichever ends
    // first, only the newest request's names may reach the lists.
    std::string big(64 << 20, 'x');
    for (std::size_t at = 0; at < big.size(); at += 4096) {
        big.replace(at, 10, std::string_view("\0FIRST.DLL", 10));
    }
    const QString first = Write("first.bin", big);
    const QString second = Write("second.bin", std::string_view("\0SECOND.OCX\0", 12));

    frmMain window(QString{});
    window.optScan[1]->setChecked(true);
    QSignalSpy applied(&window, &frmMain::DeepScanApplied);
    window.txtpath->setText(first);
    window.txtpath->setText(second);
    ASSERT_TRUE(applied.wait(20000));
    QTest::qWait(300); // room for a superseded scan to arrive late
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"SECOND.OCX"});
    EXPECT_EQ(ItemTexts(*window.List1), QStringList{"SECOND.OCX"});
}

TEST_F(DeepScanWindow, ImportsScanChosenDuringADeepScanKeepsItsLists)
{
    std::string big(64 << 20, '\0');
    big.replace(1000, 8, "LATE.DLL");
    const QString path = Write("late.bin", big);
    frmMain window(path);
    QSignalSpy applied(&window, &frmMain::DeepScanApplied);
    window.optScan[1]->setChecked(true);
    window.optScan[0]->setChecked(true);
    QTest::qWait(1000);
    EXPECT_EQ(applied.count(), 0);
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"Error mapping file."});
    EXPECT_FALSE(window.DeepScanRunning());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DeepScanWindow, BadPathsGiveEmptyListsAndCreateNothing)
{
    frmMain window(QString{});
    for (const QString &path :
         {QString::fromStdString((m_dir / "missing.dll").string()),
          QString::fromStdString(m_dir.Path().string()), Write("empty.dll", "")}) {
        ScanAndWait(window, path);
        EXPECT_EQ(window.LstDep->count(), 0) << path.toStdString();
        EXPECT_EQ(window.List1->count(), 0);
        window.optScan[0]->setChecked(true);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "missing.dll"));
}

TEST_F(DeepScanWindow, ClosingDuringAScanEndsItPromptly)
{
    const QString path = Write("big.bin", std::string(64 << 20, 'A'));
    auto window = std::make_unique<frmMain>(path);
    window->optScan[1]->setChecked(true);
    ASSERT_TRUE(window->DeepScanRunning());
    window.reset(); // the worker sees its cancel flag within one piece of the file
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace quorvane
