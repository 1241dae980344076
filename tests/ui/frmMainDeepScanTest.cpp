// The Deep Scan in the window: the search runs on a worker thread, the newest request owns the
// lists, and the lists end exactly as the scan's steps leave them.
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
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
    std::string Write(const char *name, std::string_view bytes)
    {
        return m_dir.Write(name, bytes).string();
    }

    // Chooses the Deep Scan on path and waits for its names to reach the lists.
    static void ScanAndWait(frmMain &window, const std::string &path)
    {
        window.txtpath->setText(QString::fromStdString(path));
        window.optScan[1]->setChecked(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 10000));
    }

    test::TempDir m_dir;
};

TEST_F(DeepScanWindow, ListsHoldTheDistinctNamesScratchInScanOrderDependenciesSorted)
{
    const std::string path =
        Write("names.bin", std::string_view("\0b.ocx\0A.DLL\0B.OCX\0c.dll\0", 26));
    frmMain window("");
    ScanAndWait(window, path);
    EXPECT_EQ(ItemTexts(*window.List1), (QStringList{"A.DLL", "C.DLL", "B.OCX"}));
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "B.OCX", "C.DLL"}));
    EXPECT_EQ(ItemTexts(*window.LstImp), (QStringList{"Error mapping file."}))
        << "the imports scan of the path ran first; the deep scan left its export list alone";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer is gone";

    // Only the DLL type ticked: the OCX name goes.
    window.cmdUnselect->click();
    window.chkType[0]->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 10000));
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "C.DLL"}));
    EXPECT_EQ(window.DeepScansRun(), 1 + 5 + 1);
}

TEST_F(DeepScanWindow, ShowsTheBusyPointerWhileScanning)
{
    const std::string path = Write("one.bin", std::string_view("\0ONE.DLL\0", 9));
    frmMain window(path);
    QSignalSpy applied(&window, &frmMain::ScanApplied);
    window.optScan[1]->setChecked(true);
    EXPECT_EQ(window.LstDep->Names().Count(), 0) << "the list empties at once";
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
    const std::string first = Write("first.bin", big);
    const std::string second = Write("second.bin", std::string_view("\0SECOND.OCX\0", 12));

    frmMain window("");
    window.optScan[1]->setChecked(true);
    QSignalSpy applied(&window, &frmMain::ScanApplied);
    window.txtpath->setText(QString::fromStdString(first));
    window.txtpath->setText(QString::fromStdString(second));
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
    const std::string path = Write("late.bin", big);
    frmMain window(path);
    QSignalSpy applied(&window, &frmMain::ScanApplied);
    window.optScan[1]->setChecked(true);
    window.optScan[0]->setChecked(true);
    QTest::qWait(1000);
    EXPECT_EQ(applied.count(), 1) << "the imports scan's lists only";
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"Error mapping file."});
    EXPECT_FALSE(window.ScanRunning());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DeepScanWindow, BadPathsGiveEmptyListsAndCreateNothing)
{
    frmMain window("");
    for (const std::string &path :
         {(m_dir / "missing.dll").string(), m_dir.Path().string(), Write("empty.dll", "")}) {
        ScanAndWait(window, path);
        EXPECT_EQ(window.LstDep->Names().Count(), 0) << path;
        EXPECT_EQ(window.List1->Names().Count(), 0);
        window.optScan[0]->setChecked(true);
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "missing.dll"));
}

TEST_F(DeepScanWindow, ClosingDuringAScanEndsItPromptly)
{
    const std::string path = Write("big.bin", std::string(64 << 20, 'A'));
    auto window = std::make_unique<frmMain>(path);
    window->optScan[1]->setChecked(true);
    ASSERT_TRUE(window->ScanRunning());
    window.reset(); // the worker sees its cancel flag within one piece of the file
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DeepScanWindow, ANameOfMegabytesIsDrawnShortenedAndUsedWhole)
{
    const std::string name = std::string(5'000'000, 'A') + ".DLL";
    const std::string path = Write("long.bin", '\0' + name + '\0');
    std::vector<std::string> checked, doubleClicked;
    frmMainServices services = frmMainServices::Platform();
    services.checkDependencies = [&](const std::string &, const std::vector<std::string> &names) {
        checked = names;
        return MissingDependencies{};
    };
    services.showCheck = [](const MissingDependencies &, QWidget *) {};
    services.openDependency = [&](QWidget *, const std::string &, const std::string *current) {
        doubleClicked.push_back(current ? *current : std::string());
    };
    frmMain window("", services);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ScanAndWait(window, path);

    ASSERT_EQ(window.LstDep->Names().Count(), 1);
    const QString drawn = window.LstDep->model()->index(0, 0).data().toString();
    EXPECT_EQ(drawn, QString(kDrawnEnds, 'A') + QStringLiteral(" \u2026 ") +
                         QString(kDrawnEnds - 4, 'A') + QStringLiteral(".DLL"));
    const QPoint row = window.LstDep->visualRect(window.LstDep->model()->index(0, 0)).center();
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(window.LstDep->toolTip(), drawn);
    QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, row);
    window.cmdCheck->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 10000));
    EXPECT_EQ(doubleClicked, std::vector<std::string>{name});
    EXPECT_EQ(checked, std::vector<std::string>{name});
}

TEST_F(DeepScanWindow, CheckDependenciesDuringAScanChecksItsListWhichStaysWhileTheWindowIsOpen)
{
    std::string big(64 << 20, '\0');
    big.replace(1000, 8, "LATE.DLL");
    const std::string path = Write("late.bin", big);
    std::vector<std::string> checked, listedWhileOpen;
    bool scanRunningWhileOpen = true;
    frmMainServices services = frmMainServices::Platform();
    services.checkDependencies = [&](const std::string &, const std::vector<std::string> &names) {
        checked = names;
        return MissingDependencies{"", "", names};
    };
    services.showCheck = [&](const MissingDependencies &, QWidget *owner) {
        auto &shownOver = static_cast<frmMain &>(*owner);
        QTest::qWait(300); // as long as a user keeps the window open
        scanRunningWhileOpen = shownOver.ScanRunning();
        listedWhileOpen = *shownOver.LstDep->Names().AllNames();
    };
    frmMain window(path, services);
    window.optScan[1]->setChecked(true);
    window.cmdCheck->click();
    EXPECT_TRUE(window.CheckWaiting());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "it shows it is busy";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 20000));
    EXPECT_EQ(checked, std::vector<std::string>{"LATE.DLL"});
    EXPECT_EQ(listedWhileOpen, checked);
    EXPECT_FALSE(scanRunningWhileOpen);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace quorvane
