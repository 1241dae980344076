// The main window driven as a user drives it: the command line, the path box, the scan types and
// file types, the lists each scan leaves, the Deep Scan on its worker, and the way to the other
// windows, with recorders in place of the modal windows.
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

const QStringList kErrorMapping = {QStringLiteral("Error mapping file.")};
const QStringList kBothImports = {"ADVAPI32.dll", "kernel32.dll", "msvcrt.dll", "USER32.dll",
                                  "USER32.dll"};

// What the window asked of its services.
struct Recorder {
    std::optional<std::string> chosenPath;
    std::string checkedPath;
    std::vector<std::string> checked, shownMissing, doubleClicked;
    QWidget *checkOwner = nullptr, *aboutOwner = nullptr;
    std::function<void(QWidget *)> whileCheckShown = [](QWidget *) {};

    frmMainServices Services()
    {
        frmMainServices s;
        s.openFile = [this](QWidget *) { return chosenPath; };
        s.checkDependencies = [this](const std::string &path, const std::vector<std::string> &n) {
            checkedPath = path;
            checked = n;
            return MissingDependencies{"", "", {n.empty() ? "" : n.back()}};
        };
        s.showCheck = [this](const MissingDependencies &outcome, QWidget *owner) {
            shownMissing = outcome.missing;
            checkOwner = owner;
            whileCheckShown(owner);
        };
        s.showAbout = [this](QWidget *owner) { aboutOwner = owner; };
        s.openDependency = [this](QWidget *, const std::string &, const std::string *name) {
            doubleClicked.push_back(name ? *name : "(none)");
        };
        return s;
    }
};

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
    {
        test::PeBuilder both;
        both.isDll = true;
        both.imports = {"USER32.dll", "msvcrt.dll", "ADVAPI32.dll", "kernel32.dll", "USER32.dll"};
        both.exports = {"Gamma", "alpha", "Beta"};
        m_both = Write(both, "both tables.dll");
        test::PeBuilder importsOnly;
        importsOnly.imports = {"zlib1.dll", "KERNEL32.dll"};
        importsOnly.withExportTable = false;
        m_importsOnly = Write(importsOnly, "imports only.exe");
        both.withImportTable = false;
        m_noImports = Write(both, "no imports.dll");
    }
    std::string Write(const test::PeBuilder &pe, const std::string &name)
    {
        return pe.Build().WriteTo(m_dir / name).string();
    }
    // A file of zeros with a name near its start; sparse, so its size costs no disk.
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
    static QRect Row(const NameListView &list, int row)
    {
        return list.visualRect(list.model()->index(row, 0));
    }

    test::TempDir m_dir;
    std::string m_both, m_importsOnly, m_noImports;
    Recorder m_recorder;
};

TEST_F(MainWindow, TheCommandLineIsOnePathScannedBeforeTheWindowShows)
{
    const struct {
        std::string line, path;
        QStringList dependencies, exports;
    } cases[] = {
        {"", "", {}, {}},
        {"\"\"", "", {}, {}},
        {'"' + m_both + '"', m_both, kBothImports, {"alpha", "Beta", "Gamma"}},
        {m_importsOnly, m_importsOnly, {"KERNEL32.dll", "zlib1.dll"}, {"No export table."}},
        // Quotes go wherever they stand; nothing is trimmed, nothing is a switch.
        {'"' + m_both + "\" \"" + m_importsOnly + '"', m_both + ' ' + m_importsOnly, kErrorMapping,
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
        EXPECT_EQ(window.cmdDep->isEnabled(), !c.path.empty());
        EXPECT_EQ(window.cmdCheck->isEnabled(), !c.path.empty());
        EXPECT_TRUE(window.optScan[0]->isChecked());
        for (const QCheckBox *box : window.chkType) {
            EXPECT_TRUE(box->isChecked() && !box->isEnabled());
        }
    }
}

TEST_F(MainWindow, EachChangeScansOnceAndTheListsShowNamesOrTheReadersStatus)
{
    frmMain window("");
    const struct {
        const std::string *path;
        QStringList dependencies, exports;
    } cases[] = {
        {&m_both, kBothImports, {"alpha", "Beta", "Gamma"}},
        {&m_importsOnly, {"KERNEL32.dll", "zlib1.dll"}, {"No export table."}},
        {&m_noImports, {"No DLL dependencies found."}, {"alpha", "Beta", "Gamma"}},
    };
    int scans = 0;
    for (const auto &c : cases) {
        SetPath(window, *c.path);
        EXPECT_EQ(window.ImportsScansRun(), ++scans);
        Click(window, window.cmdDep);
        Click(window, window.cmdDep);
        scans += 2;
        EXPECT_EQ(ItemTexts(*window.LstDep), c.dependencies) << "a rescan doubles nothing";
        EXPECT_EQ(ItemTexts(*window.LstImp), c.exports);
    }
    SetPath(window, m_noImports);
    EXPECT_EQ(window.ImportsScansRun(), scans) << "the same text is no change";
    // An empty path disables Refresh and keeps the lists; only a file-type change scans it.
    SetPath(window, "");
    EXPECT_FALSE(window.cmdDep->isEnabled() || window.cmdCheck->isEnabled());
    EXPECT_EQ(ItemTexts(*window.LstDep), cases[2].dependencies);
    Click(window, window.cmdSelect);
    EXPECT_EQ(window.ImportsScansRun(), scans) << "all five were ticked";
    Click(window, window.cmdUnselect);
    EXPECT_EQ(window.ImportsScansRun(), scans + 5) << "one scan per box that changes";
    EXPECT_EQ(ItemTexts(*window.LstDep), kErrorMapping);
    EXPECT_EQ(ItemTexts(*window.LstImp), kErrorMapping);
}

TEST_F(MainWindow, TheScanTypeSwitchesTheFileTypesAndTheDeepScanKeepsTheExports)
{
    frmMain window("");
    Click(window, window.optScan[1]);
    EXPECT_TRUE(window.chkType[0]->isEnabled() && window.chkType[4]->isEnabled());
    Click(window, window.optScan[0]);
    EXPECT_FALSE(window.chkType[0]->isEnabled() || window.chkType[4]->isEnabled());
    EXPECT_EQ(window.ImportsScansRun() + window.DeepScansRun(), 0) << "no path, no scan";

    // Names of each type, one twice and in two spellings: scan order in the scratch list, the
    // distinct names sorted in the dependency list, only the ticked types.
    SetPath(
        window,
        m_dir.Write("names.bin", "\0b.ocx\0A.DLL\0B.OCX\0c.dll\0d.sys\0e.drv\0f.tlb\0"sv).string());
    Click(window, window.optScan[1]);
    EXPECT_EQ(window.DeepScansRun(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep),
              (QStringList{"A.DLL", "B.OCX", "C.DLL", "D.SYS", "E.DRV", "F.TLB"}));
    EXPECT_EQ(ItemTexts(*window.List1),
              (QStringList{"A.DLL", "C.DLL", "B.OCX", "D.SYS", "E.DRV", "F.TLB"}));
    EXPECT_EQ(ItemTexts(*window.LstImp), kErrorMapping) << "left by the Imports Scan";
    Click(window, window.optScan[1]);
    EXPECT_EQ(window.DeepScansRun(), 1) << "choosing the chosen type is no change";
    Click(window, window.cmdUnselect);
    Click(window, window.chkType[0]);
    Click(window, window.chkType[4]);
    EXPECT_EQ(window.DeepScansRun(), 8);
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"A.DLL", "C.DLL", "F.TLB"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer is gone";
    Click(window, window.optScan[0]);
    EXPECT_EQ(window.ImportsScansRun(), 2);
}

TEST_F(MainWindow, SpecialPathsGiveAStatusAndANameInAnyBytesIsScanned)
{
    const fs::path fifo = m_dir / "fifo.dll";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path latin1 = m_dir / "caf\xe9 \xe9t\xe9.dll";
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
    EXPECT_TRUE(frmMain(latin1.string()).txtpath->text().endsWith(u"caf\ufffd \ufffdt\ufffd.dll"));
    EXPECT_FALSE(fs::exists(m_dir / "missing.dll"));
}

TEST_F(MainWindow, ANewerRequestSupersedesARunningDeepScan)
{
    // A large first file keeps its scan busy while the second request arrives; whichever ends
    // first, only the newest request's names may reach the lists.
    std::string big(64 << 20, 'x');
    for (std::size_t at = 0; at < big.size(); at += 4096) {
        big.replace(at, 10, std::string_view("\0FIRST.DLL", 10));
    }
    const std::string first = m_dir.Write("first.bin", big).string();
    const std::string second = m_dir.Write("second.bin", "\0SECOND.OCX\0"sv).string();
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

    // Select All while Unselect All's last scan has ended on its worker but its lists have not
    // reached the window: the five new scans supersede it, and it must not show its empty list.
    window.cmdUnselect->click();
    QThreadPool::globalInstance()->waitForDone();
    applied.clear();
    window.cmdSelect->click();
    Settle(window);
    QTest::qWait(100);
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(ItemTexts(*window.LstDep), QStringList{"SECOND.OCX"});
}

TEST_F(MainWindow, TheImportsScanChosenDuringADeepScanEndsItAndKeepsItsLists)
{
    // Sparse: a tebibyte of zeros would keep a worker reading for minutes.
    const std::string path = Sparse("huge.bin", std::uint64_t(1) << 40);
    {
        frmMain window(path);
        QSignalSpy applied(&window, &frmMain::ScanApplied);
        window.optScan[1]->setChecked(true);
        EXPECT_EQ(window.LstDep->Names().Count(), 0) << "the list empties at once";
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        window.optScan[0]->setChecked(true);
        Settle(window);
        QTest::qWait(300);
        EXPECT_EQ(applied.count(), 1) << "the Imports Scan's lists only";
        EXPECT_EQ(ItemTexts(*window.LstDep), kErrorMapping);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    // Nothing holds the workers any more: a scan left running would hold up the program's exit.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
}

TEST_F(MainWindow, CheckDependenciesDuringAScanWaitsForItsListWhichStaysWhileTheWindowIsOpen)
{
    const std::string path = Sparse("late.bin", 64 << 20);
    std::vector<std::string> listedWhileOpen;
    bool scanRunningWhileOpen = true;
    m_recorder.whileCheckShown = [&](QWidget *owner) {
        auto &shownOver = static_cast<frmMain &>(*owner);
        QTest::qWait(300); // as long as a user keeps the window open
        scanRunningWhileOpen = shownOver.ScanRunning();
        listedWhileOpen = *shownOver.LstDep->Names().AllNames();
    };
    frmMain window(path, m_recorder.Services());
    window.optScan[1]->setChecked(true);
    window.cmdCheck->click();
    EXPECT_TRUE(window.CheckWaiting());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor) << "it shows it is busy";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 20000));
    EXPECT_EQ(m_recorder.checked, std::vector<std::string>{"LATE.DLL"});
    EXPECT_EQ(listedWhileOpen, m_recorder.checked);
    EXPECT_FALSE(scanRunningWhileOpen);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, BrowseCheckAboutAndDoubleClickReachTheirWindowsWithThePathAndTheList)
{
    frmMain window("", m_recorder.Services());
    m_recorder.chosenPath = m_importsOnly;
    Click(window, window.cmdOpen);
    EXPECT_EQ(window.Path(), m_importsOnly);
    EXPECT_EQ(ItemTexts(*window.LstDep), (QStringList{"KERNEL32.dll", "zlib1.dll"}));
    m_recorder.chosenPath.reset(); // cancel changes nothing
    Click(window, window.cmdOpen);
    EXPECT_EQ(window.ImportsScansRun(), 1);

    Click(window, window.cmdCheck);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_recorder.checkOwner != nullptr; }));
    EXPECT_EQ(m_recorder.checkedPath, m_importsOnly);
    EXPECT_EQ(m_recorder.checked, (std::vector<std::string>{"KERNEL32.dll", "zlib1.dll"}));
    EXPECT_EQ(m_recorder.shownMissing, std::vector<std::string>{"zlib1.dll"});
    EXPECT_EQ(m_recorder.checkOwner, &window);
    Click(window, window.cmdAbout);
    EXPECT_EQ(m_recorder.aboutOwner, &window);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // A real double-click: the first press selects, the second arrives as a double-click.
    const QPoint last = Row(*window.LstDep, 1).center();
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, last);
    QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, last);
    EXPECT_EQ(m_recorder.doubleClicked, std::vector<std::string>{"zlib1.dll"});
    EXPECT_EQ(window.Path(), m_importsOnly) << "the first window stays as it was";
}

// What the user reads in the tooltip now showing, as markup when Qt takes it so.
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

TEST_F(MainWindow, ANameIsShownWholeAsPlainTextInTheToolTipAndAMegabyteNameUsedWhole)
{
    const std::string huge = std::string(5'000'000, 'A') + ".DLL";
    test::PeBuilder pe;
    pe.imports = {"<b>bold</b>.dll", "a very long library name indeed.dll"};
    const std::string markup = Write(pe, "markup.exe");
    frmMain window(markup, m_recorder.Services());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint at = Row(*window.LstDep, 0).center();
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
    QHelpEvent rest(QEvent::ToolTip, at, window.LstDep->viewport()->mapToGlobal(at));
    QApplication::sendEvent(window.LstDep->viewport(), &rest);
    EXPECT_EQ(ToolTipShown(), "<b>bold</b>.dll");
    QTest::keyClick(window.LstDep, Qt::Key_Down); // a move by keyboard counts as a click
    EXPECT_EQ(window.LstDep->toolTip(), "a very long library name indeed.dll");

    // A name of megabytes is drawn by its ends, and the double-click and the check take it whole.
    SetPath(window, m_dir.Write("long.bin", '\0' + huge + '\0').string());
    Click(window, window.optScan[1]);
    const QString drawn = window.LstDep->model()->index(0, 0).data().toString();
    EXPECT_EQ(drawn, QString(kDrawnEnds, 'A') + QStringLiteral(" \u2026 ") +
                         QString(kDrawnEnds - 4, 'A') + QStringLiteral(".DLL"));
    QTest::mouseClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(window.LstDep->toolTip(), drawn);
    QTest::mouseDClick(window.LstDep->viewport(), Qt::LeftButton, {}, at);
    window.cmdCheck->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.CheckWaiting(); }, 10000));
    EXPECT_EQ(m_recorder.doubleClicked, std::vector<std::string>{huge});
    EXPECT_EQ(m_recorder.checked, std::vector<std::string>{huge});
}

} // namespace
} // namespace quorvane
