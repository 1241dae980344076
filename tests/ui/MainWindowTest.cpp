// The main window driven as a user drives it: the command line, the path box, the scan and file
// types, the lists each scan leaves, the Deep Scan on its worker, and the way to the other
// windows, with recorders in place of the modal windows.
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using Names = std::vector<std::string>;

const QStringList kErrorMapping = {QStringLiteral("Error mapping file.")};

class MainWindow : public ::testing::Test {
protected:
    // A click on one of the window's buttons, and the wait for the scan it may start.
    static void Click(frmMain &window, QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 20000));
    }

    test::TempDir m_dir;
    std::optional<std::string> m_chosen;
    Names m_checked;                 // the names checked, then the path
    std::string m_opened;            // the name double-clicked
    QWidget *m_checkOwner = nullptr; // the owner of the check's window
    // Recorders in place of the modal windows and the new copy of the program.
    const frmMainServices m_services{
        .openFile = [this](QWidget *) { return m_chosen; },
        .checkDependencies =
            [this](auto &path, auto &names) {
                (m_checked = names).push_back(path);
                return MissingDependencies{};
            },
        .showCheck = [this](auto, QWidget *owner) { m_checkOwner = owner; },
        .showAbout = {},
        .openDependency = [this](auto *, auto &, auto *name) { m_opened = *name; }};
};

TEST_F(MainWindow, TheCommandLineIsOnePathScannedBeforeTheWindowShowsWhateverItNames)
{
    test::PeBuilder pe{.imports = {"USER32.dll", "gdi32.dll", "USER32.dll"}};
    pe.exports = {"Beta", "alpha"};
    const std::string both = pe.Build().WriteTo(m_dir / "both tables.dll").string();
    pe = {.imports = {"zlib1.dll", "KERNEL32.dll"}, .withExportTable = false};
    const std::string latin1 = pe.Build().WriteTo(m_dir / "caf\xe9 \xe9t\xe9.dll").string();
    const fs::path fifo = m_dir / "fifo.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string quoted = '"' + both + '"';
    // The command line, the path scanned, the dependency list and the export list.
    const std::tuple<std::string, std::string, QStringList, QStringList> cases[] = {
        {quoted, both, QString("gdi32.dll USER32.dll USER32.dll").split(' '), {"alpha", "Beta"}},
        {latin1, latin1, {"KERNEL32.dll", "zlib1.dll"}, {"No export table."}}, // not UTF-8
        // Quotes go wherever they stand; nothing is trimmed; a FIFO is a status, not a wait.
        {quoted + ' ' + quoted, both + ' ' + both, kErrorMapping, kErrorMapping},
        {' ' + both, ' ' + both, kErrorMapping, kErrorMapping},
        {fifo, fifo, kErrorMapping, kErrorMapping},
    };
    for (const auto &[line, path, dependencies, exports] : cases) {
        SCOPED_TRACE(line);
        frmMain window(line);
        EXPECT_EQ(window.Path(), path);
        EXPECT_EQ(ItemTexts(*window.LstDep), dependencies);
        EXPECT_EQ(ItemTexts(*window.LstImp), exports);
    }
    EXPECT_TRUE(frmMain(latin1).txtpath->text().endsWith(u"caf\ufffd \ufffdt\ufffd.dll"));
}

TEST_F(MainWindow, TheDeepScanListsTheTickedTypesOfTheNewestRequestOnlyEachNameOnce)
{
    // A file of zeros with one name near its start; sparse, so that its size costs no disk.
    const fs::path sparse = m_dir.Write("sparse.bin", std::string(1000, '\0') + "LATE.DLL");
    fs::resize_file(sparse, 64 << 20);
    frmMain window("", m_services);
    Click(window, window.optScan[1]);
    QSignalSpy applied(&window, &frmMain::ScanApplied);
    // The first file's scan is still running when the second request arrives (no event is
    // handled in between): only the newest request's names may reach the lists, the scratch list
    // in scan order, the dependency list sorted.
    window.txtpath->setText(QString::fromStdString(sparse.string()));
    window.txtpath->setText(QString::fromStdString(
        m_dir.Write("n.bin", "\0b.ocx\0A.DLL\0B.OCX\0c.dll\0d.sys\0e.drv\0f.tlb\0"sv)));
    ASSERT_TRUE(applied.wait(20000));
    QTest::qWait(300); // room for a superseded scan to arrive late
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep), QString("A.DLL B.OCX C.DLL D.SYS E.DRV F.TLB").split(' '));
    EXPECT_EQ(ItemTexts(*window.List1), QString("A.DLL C.DLL B.OCX D.SYS E.DRV F.TLB").split(' '));

    // A box ticked while Unselect All's last scan has ended on its worker but its lists have not
    // reached the window yet: the newer scan supersedes it, and its empty list never shows. The
    // boxes change during a Deep Scan, and the rescans double nothing.
    window.cmdUnselect->click();
    QThreadPool::globalInstance()->waitForDone();
    applied.clear();
    Click(window, window.chkType[0]);
    Click(window, window.chkType[4]);
    EXPECT_EQ(applied.count(), 2);
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "C.DLL", "F.TLB"}));
    Click(window, window.cmdSelect);
    EXPECT_EQ(ItemTexts(*window.LstDep), QString("A.DLL B.OCX C.DLL D.SYS E.DRV F.TLB").split(' '));

    // Check Dependencies pressed during a scan checks the scan's list, not the empty one.
    window.txtpath->setText(QString::fromStdString(sparse.string()));
    window.cmdCheck->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 20000));
    EXPECT_EQ(m_checked, (Names{"LATE.DLL", window.Path()}));

    // The Imports Scan chosen during the Deep Scan of the file grown to a sparse tebibyte ends it:
    // a worker left reading for minutes would hold up the program's exit.
    fs::resize_file(sparse, std::uint64_t(1) << 40);
    window.cmdDep->click();
    Click(window, window.optScan[0]);
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    fs::resize_file(sparse, 0); // a worker still reading ends, and the test fails, not hangs
    EXPECT_EQ(ItemTexts(*window.LstDep), kErrorMapping);
}

TEST_F(MainWindow, BrowseCheckClickAndDoubleClickReachTheirWindowsWithThePathAndTheNames)
{
    frmMain window("", m_services);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const test::PeBuilder pe{.imports = {"zlib1.dll", "<b>bold</b>.dll"}};
    m_chosen = pe.Build().WriteTo(m_dir / "markup.exe").string();
    Click(window, window.cmdOpen);
    Click(window, window.cmdCheck);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_checkOwner == &window; }));
    EXPECT_EQ(m_checked, (Names{"<b>bold</b>.dll", "zlib1.dll", window.Path()}));

    // A click shows the name in the list's tooltip, as plain text whatever it holds.
    QWidget *rows = window.LstDep->viewport();
    const QPoint at = window.LstDep->visualRect(window.LstDep->model()->index(0, 0)).center();
    QTest::mouseClick(rows, Qt::LeftButton, {}, at);
    QHelpEvent rest(QEvent::ToolTip, at, rows->mapToGlobal(at));
    QApplication::sendEvent(rows, &rest);
    EXPECT_EQ(QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText(), "<b>bold</b>.dll");
    emit window.LstDep->doubleClicked(window.LstDep->currentIndex());
    EXPECT_EQ(m_opened, "<b>bold</b>.dll");
}

} // namespace
} // namespace quorvane
