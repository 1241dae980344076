// The main window driven as a user drives it: the command line, the path box, the scan and file
// types, the lists each scan leaves, the Deep Scan on its worker, and the way to the other
// windows, with recorders in place of the modal windows.
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QThreadPool>
#include <QToolTip>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using Names = std::vector<std::string>;

const QStringList kErrorMapping = {QStringLiteral("Error mapping file.")};
const QStringList kSorted = {"ADVAPI32.dll", "kernel32.dll", "msvcrt.dll", "USER32.dll",
                             "USER32.dll"};

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
    {
        test::PeBuilder pe;
        pe.imports = {"USER32.dll", "msvcrt.dll", "ADVAPI32.dll", "kernel32.dll", "USER32.dll"};
        pe.exports = {"Gamma", "alpha", "Beta"};
        m_both = pe.Build().WriteTo(m_dir / "both tables.dll").string();
        pe.imports = {"zlib1.dll", "KERNEL32.dll"};
        pe.withExportTable = false;
        m_importsOnly = pe.Build().WriteTo(m_dir / "imports only.exe").string();
    }
    frmMainServices Services()
    {
        frmMainServices s;
        s.openFile = [this](QWidget *) { return m_chosen; };
        s.checkDependencies = [this](const std::string &path, const Names &names) {
            m_checked = names;
            m_checked.push_back(path);
            return MissingDependencies{"", "", {"one.dll"}};
        };
        s.showCheck = [this](const MissingDependencies &outcome, QWidget *owner) {
            m_shown.push_back(owner);
            m_whileCheckShown(static_cast<frmMain &>(*owner), outcome);
        };
        s.showAbout = [this](QWidget *owner) { m_shown.push_back(owner); };
        s.openDependency = [this](QWidget *, const std::string &, const std::string *name) {
            m_doubleClicked.push_back(name ? *name : "(none)");
        };
        return s;
    }
    std::string File(const char *name, std::string_view bytes)
    {
        return m_dir.Write(name, bytes).string();
    }
    // A file of zeros with one name near its start; sparse, so that its size costs no disk.
    std::string Sparse(const char *name, std::uint64_t size)
    {
        const fs::path path = m_dir.Write(name, std::string(1000, '\0') + "LATE.DLL");
        fs::resize_file(path, size);
        return path.string();
    }
    static void Settle(const frmMain &window)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 20000));
    }
    static void SetPath(frmMain &window, const std::string &path)
    {
        window.txtpath->setText(QString::fromStdString(path));
        Settle(window);
    }
    static void Click(frmMain &window, QAbstractButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        Settle(window);
    }
    static void ClickRow(frmMain &window, int row, bool twice = false)
    {
        const QPoint at = window.LstDep->visualRect(window.LstDep->model()->index(row, 0)).center();
        QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
        if (twice) {
            QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
        }
    }

    test::TempDir m_dir;
    std::string m_both, m_importsOnly;
    std::optional<std::string> m_chosen;
    Names m_checked, m_doubleClicked;
    std::vector<QWidget *> m_shown; // the owner of each window shown
    std::function<void(frmMain &, const MissingDependencies &)> m_whileCheckShown = [](auto &,
                                                                                       auto &) {};
};

TEST_F(MainWindow, TheCommandLineIsOnePathScannedBeforeTheWindowShows)
{
    const struct {
        std::string line, path;
        QStringList dependencies, exports;
    } cases[] = {
        {"", "", {}, {}},
        {"\"\"", "", {}, {}},
        {'"' + m_both + '"', m_both, kSorted, {"alpha", "Beta", "Gamma"}},
        {m_importsOnly, m_importsOnly, {"KERNEL32.dll", "zlib1.dll"}, {"No export table."}},
        // Quotes go wherever they stand; nothing is trimmed, nothing is a switch.
        {'"' + m_both + "\" \"" + m_both + '"', m_both + ' ' + m_both, kErrorMapping,
         kErrorMapping},
        {' ' + m_both, ' ' + m_both, kErrorMapping, kErrorMapping},
        {"-style fusion", "-style fusion", kErrorMapping, kErrorMapping},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        frmMain window(c.line);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.Path(), c.path);
        EXPECT_EQ(ItemTexts(*window.LstDep), c.dependencies);
        EXPECT_EQ(ItemTexts(*window.LstImp), c.exports);
        EXPECT_EQ(window.ImportsScansRun() + window.DeepScansRun(), c.path.empty() ? 0 : 1);
        EXPECT_EQ(window.cmdDep->isEnabled() + window.cmdCheck->isEnabled(),
                  c.path.empty() ? 0 : 2);
        EXPECT_TRUE(window.optScan[0]->isChecked());
        for (const QCheckBox *box : window.chkType) {
            EXPECT_TRUE(box->isChecked() && !box->isEnabled());
        }
    }
}

TEST_F(MainWindow, TheDeepScanListsTheTickedTypesAndLeavesTheExportsAlone)
{
    frmMain window("");
    Click(window, window.optScan[1]);
    EXPECT_TRUE(window.chkType[0]->isEnabled() && window.chkType[4]->isEnabled());
    Click(window, window.optScan[0]);
    EXPECT_FALSE(window.chkType[0]->isEnabled() || window.chkType[4]->isEnabled());
    EXPECT_EQ(window.ImportsScansRun() + window.DeepScansRun(), 0) << "no path, no scan";

    // The scratch list in scan order, the dependency list sorted, each name once.
    SetPath(window, File("n.bin", "\0b.ocx\0A.DLL\0B.OCX\0c.dll\0d.sys\0e.drv\0f.tlb\0"sv));
    Click(window, window.optScan[1]);
    Click(window, window.optScan[1]); // the chosen type: no change
    Click(window, window.cmdDep);     // a rescan doubles nothing
    EXPECT_EQ(window.DeepScansRun(), 2);
    EXPECT_EQ(ItemTexts(*window.LstDep), QString("A.DLL B.OCX C.DLL D.SYS E.DRV F.TLB").split(' '));
    EXPECT_EQ(ItemTexts(*window.List1), QString("A.DLL C.DLL B.OCX D.SYS E.DRV F.TLB").split(' '));
    EXPECT_EQ(ItemTexts(*window.LstImp), kErrorMapping) << "left by the Imports Scan";
    Click(window, window.cmdUnselect);
    Click(window, window.chkType[0]);
    Click(window, window.chkType[4]);
    EXPECT_EQ(window.DeepScansRun(), 9);
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "C.DLL", "F.TLB"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer is gone";
}

TEST_F(MainWindow, SpecialPathsGiveAStatusAndANameInAnyBytesIsScanned)
{
    const fs::path fifo = m_dir / "fifo.dll", latin1 = m_dir / "caf\xe9 \xe9t\xe9.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::copy_file(m_importsOnly, latin1);
    const struct {
        fs::path path;
        QStringList imports, deep;
    } cases[] = {
        {m_dir / "missing.dll", kErrorMapping, {}},
        {m_dir.Path(), kErrorMapping, {}},
        {fifo, kErrorMapping, {}},
        {latin1, {"KERNEL32.dll", "zlib1.dll"}, {"KERNEL32.DLL", "SAMPLE.DLL", "ZLIB1.DLL"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        frmMain window('"' + c.path.string() + '"');
        EXPECT_EQ(window.Path(), c.path.string());
        EXPECT_EQ(ItemTexts(*window.LstDep), c.imports);
        Click(window, window.optScan[1]);
        EXPECT_EQ(ItemTexts(*window.LstDep), c.deep);
    }
    EXPECT_TRUE(frmMain(latin1).txtpath->text().endsWith(u"caf\ufffd \ufffdt\ufffd.dll"));
    EXPECT_FALSE(fs::exists(m_dir / "missing.dll"));
}

TEST_F(MainWindow, ANewerRequestSupersedesARunningDeepScan)
{
    // A large first file keeps its scan busy while the second request arrives; whichever ends
    // first, only the newest request's names may reach the lists.
    std::string big(64 << 20, 'x');
    for (std::size_t at = 0; at < big.size(); at += 4096) {
        big.replace(at, 10, "\0FIRST.DLL"sv);
    }
    frmMain window("");
    window.optScan[1]->setChecked(true);
    QSignalSpy applied(&window, &frmMain::ScanApplied);
    window.txtpath->setText(QString::fromStdString(File("first.bin", big)));
    window.txtpath->setText(QString::fromStdString(File("2.bin", "\0SECOND.OCX\0"sv)));
    ASSERT_TRUE(applied.wait(20000));
    QTest::qWait(300); // room for a superseded scan to arrive late
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep) + ItemTexts(*window.List1), QStringList(2, "SECOND.OCX"));

    // Select All while Unselect All's last scan has ended on its worker but its lists have not
    // reached the window yet: the newer scans supersede it, and its empty list never shows.
    window.cmdUnselect->click();
    QThreadPool::globalInstance()->waitForDone();
    applied.clear();
    window.cmdSelect->click();
    Settle(window);
    QTest::qWait(100);
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"SECOND.OCX"});

    // The Imports Scan chosen during the Deep Scan of a sparse tebibyte ends it: a worker left
    // reading for minutes would hold up the program's exit.
    window.txtpath->setText(QString::fromStdString(Sparse("huge.bin", std::uint64_t(1) << 40)));
    EXPECT_EQ(window.LstDep->Names().Count(), 0) << "the list empties at once";
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    applied.clear();
    Click(window, window.optScan[0]);
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    EXPECT_EQ(applied.count(), 1) << "the Imports Scan's lists only";
    EXPECT_EQ(ItemTexts(*window.LstDep), kErrorMapping);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, CheckDependenciesDuringAScanWaitsForItsListWhichStaysWhileTheWindowIsOpen)
{
    Names listedWhileOpen;
    m_whileCheckShown = [&](frmMain &owner, const MissingDependencies &) {
        QTest::qWait(300); // as long as a user keeps the window open
        EXPECT_FALSE(owner.ScanRunning());
        listedWhileOpen = *owner.LstDep->Names().AllNames();
    };
    frmMain window(Sparse("late.bin", 64 << 20), Services());
    window.optScan[1]->setChecked(true);
    window.cmdCheck->click();
    EXPECT_TRUE(window.CheckWaiting());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "it shows it is busy";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 20000));
    EXPECT_EQ(m_checked, (Names{"LATE.DLL", window.Path()}));
    EXPECT_EQ(listedWhileOpen, Names{"LATE.DLL"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, BrowseCheckAboutClickAndDoubleClickReachTheirWindowsWithThePathAndTheNames)
{
    test::PeBuilder pe;
    pe.imports = {"zlib1.dll", "<b>bold</b>.dll"};
    frmMain window("", Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    m_chosen = pe.Build().WriteTo(m_dir / "markup.exe").string();
    Click(window, window.cmdOpen);
    Click(window, window.cmdCheck);
    m_chosen.reset(); // cancel changes nothing
    Click(window, window.cmdOpen);
    EXPECT_EQ(window.ImportsScansRun(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_shown.empty(); }));
    Click(window, window.cmdAbout);
    EXPECT_EQ(m_shown, (std::vector<QWidget *>{&window, &window}));
    EXPECT_EQ(m_checked, (Names{"<b>bold</b>.dll", "zlib1.dll", window.Path()}));

    // A click shows the name in the list's tooltip, as plain text whatever it holds.
    ClickRow(window, 0);
    const QPoint at = window.LstDep->visualRect(window.LstDep->model()->index(0, 0)).center();
    QHelpEvent rest(QEvent::ToolTip, at, window.LstDep->viewport()->mapToGlobal(at));
    QApplication::sendEvent(window.LstDep->viewport(), &rest);
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    EXPECT_EQ(shown.toPlainText(), "<b>bold</b>.dll");
    QTest::keyClick(window.LstDep, Qt::Key_Down); // a move by keyboard counts as a click
    EXPECT_EQ(window.LstDep->toolTip(), "zlib1.dll");
    ClickRow(window, 1, true);
    EXPECT_EQ(m_doubleClicked, Names{"zlib1.dll"});
}

} // namespace
} // namespace quorvane
