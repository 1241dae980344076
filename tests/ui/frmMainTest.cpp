// The main window, driven through the notifications a user causes: its layout, its start-up, the
// path box, the scan type and file types, and the Imports Scan's lists.
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace quorvane {
namespace {

template <typename T> T *Find(const QWidget &window, const QString &name)
{
    auto *control = window.findChild<T *>(name);
    if (control == nullptr) {
        throw std::runtime_error("no control named " + name.toStdString());
    }
    return control;
}

QStringList Items(const QWidget &window, const char *list)
{
    return ItemTexts(*Find<QAbstractItemView>(window, QLatin1String(list)));
}

const QStringList kErrorMapping = {QStringLiteral("Error mapping file.")};

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
    {
        test::PeBuilder both;
        both.isDll = true;
        both.imports = {"USER32.dll", "msvcrt.dll", "ADVAPI32.dll", "kernel32.dll", "USER32.dll"};
        both.exports = {"Gamma", "alpha", "Beta"};
        m_both = Path(both, "both tables.dll");

        test::PeBuilder importsOnly;
        importsOnly.imports = {"zlib1.dll", "KERNEL32.dll"};
        importsOnly.withExportTable = false;
        m_importsOnly = Path(importsOnly, "imports only.exe");

        test::PeBuilder noImports = both;
        noImports.withImportTable = false;
        m_noImports = Path(noImports, "no imports.dll");
    }

    std::string Path(const test::PeBuilder &builder, const char *name) const
    {
        return builder.Build().WriteTo(m_dir / name).string();
    }

    // Scans after the window's start run on a worker: each step waits for their lists.
    static void Settle(const frmMain &window)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 20000));
    }
    static void SetPath(frmMain &window, const std::string &path)
    {
        Find<QLineEdit>(window, QStringLiteral("txtpath"))->setText(QString::fromStdString(path));
        Settle(window);
    }
    static bool Enabled(const frmMain &window, const char *name)
    {
        return Find<QWidget>(window, QLatin1String(name))->isEnabled();
    }
    static void Click(const frmMain &window, const char *name)
    {
        QTest::mouseClick(Find<QAbstractButton>(window, QLatin1String(name)), Qt::LeftButton);
        Settle(window);
    }
    static int Scans(const frmMain &window)
    {
        return window.ImportsScansRun() + window.DeepScansRun();
    }

    test::TempDir m_dir;
    std::string m_both, m_importsOnly, m_noImports;
};

TEST_F(MainWindow, OpensWithoutCommandLineInItsStartUpState)
{
    frmMain window("");
    EXPECT_EQ(window.objectName(), "frmMain");
    EXPECT_EQ(window.windowTitle(), "Quorvane");
    EXPECT_TRUE(Find<QRadioButton>(window, "optScan_0")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(window, "optScan_1")->isChecked());
    for (int i = 0; i < 5; ++i) {
        const auto *box = Find<QCheckBox>(window, QStringLiteral("chkType_%1").arg(i));
        EXPECT_TRUE(box->isChecked() && !box->isEnabled()) << i;
    }
    EXPECT_TRUE(Find<QLineEdit>(window, "txtpath")->text().isEmpty());
    EXPECT_FALSE(Enabled(window, "cmdDep"));
    EXPECT_FALSE(Enabled(window, "cmdCheck"));
    for (const char *name : {"cmdSelect", "cmdUnselect", "cmdClose", "cmdAbout", "cmdOpen",
                             "optScan_0", "optScan_1", "txtpath"}) {
        EXPECT_TRUE(Enabled(window, name)) << name;
    }
    EXPECT_TRUE(Items(window, "LstDep").isEmpty());
    EXPECT_TRUE(Items(window, "LstImp").isEmpty());
    EXPECT_EQ(Scans(window), 0);

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), Find<QWidget>(window, "txtpath"));
}

TEST_F(MainWindow, ControlsStandWhereTheLayoutPutsThemWithTheirCaptionsAndFonts)
{
    struct Row {
        const char *name, *container, *caption, *toolTip;
        QRect geometry;
        int fontPixels;
        bool bold;
    };
    const Row rows[] = {
        {"fraScan", "frmMain", "Scan Type", "", {208, 56, 129, 81}, 13, false},
        {"optScan_1", "fraScan", "Deep Scan", "", {8, 48, 105, 17}, 13, false},
        {"optScan_0", "fraScan", "Imports Scan", "", {8, 24, 105, 17}, 13, false},
        {"Frame1", "frmMain", "File Types", "", {208, 136, 129, 209}, 13, false},
        {"chkType_4", "Frame1", "TLB Files", "", {8, 120, 81, 17}, 13, false},
        {"chkType_0", "Frame1", "DLL Files", "", {8, 24, 89, 17}, 13, false},
        {"chkType_1", "Frame1", "OCX Files", "", {8, 48, 89, 17}, 13, false},
        {"chkType_2", "Frame1", "SYS Files", "", {8, 72, 89, 17}, 13, false},
        {"chkType_3", "Frame1", "DRV Files", "", {8, 96, 89, 17}, 13, false},
        {"cmdSelect", "Frame1", "Select All", "", {8, 144, 113, 25}, 13, false},
        {"cmdUnselect", "Frame1", "Unselect All", "", {8, 176, 113, 25}, 13, false},
        {"cmdAbout", "frmMain", "About", "", {8, 352, 105, 25}, 11, false},
        {"fraTypes", "frmMain", "Function Exports", "", {288, 416, 281, 257}, 13, false},
        {"LstImp", "fraTypes", "", "", {8, 24, 265, 212}, 13, false},
        {"fraDependencies", "frmMain", "DLL Imports", "", {8, 56, 193, 289}, 13, false},
        {"cmdCheck",
         "fraDependencies",
         "&Check Dependencies",
         "Get File Info",
         {8, 256, 177, 25},
         11,
         false},
        {"LstDep", "fraDependencies", "", "", {8, 24, 177, 228}, 13, false},
        {"frmPE", "frmMain", "Executable File", "", {8, 0, 329, 57}, 13, false},
        {"txtpath", "frmPE", "", "File Name", {8, 16, 273, 27}, 13, true},
        {"cmdOpen", "frmPE", "...", "Browse File", {288, 16, 33, 27}, 13, false},
        {"List1", "frmMain", "", "", {8, 424, 201, 264}, 11, false},
        {"txtTemp",
         "frmMain",
         "Temporary Variable Storage Buffer",
         "",
         {232, 424, 49, 33},
         11,
         false},
        {"cmdClose", "frmMain", "E&xit", "Close", {232, 352, 105, 25}, 11, false},
        {"cmdDep", "frmMain", "&Refresh", "Get File Info", {120, 352, 105, 25}, 11, false},
    };
    frmMain window("");
    for (const auto &row : rows) {
        const auto *control = Find<QWidget>(window, QLatin1String(row.name));
        SCOPED_TRACE(row.name);
        EXPECT_EQ(control->parentWidget()->objectName(), row.container);
        EXPECT_EQ(control->geometry(), row.geometry);
        EXPECT_EQ(control->toolTip(), row.toolTip);
        EXPECT_EQ(control->font().pixelSize(), row.fontPixels);
        EXPECT_EQ(control->font().bold(), row.bold);
        QString caption;
        if (const auto *button = qobject_cast<const QAbstractButton *>(control)) {
            caption = button->text();
        } else if (const auto *frame = qobject_cast<const QGroupBox *>(control)) {
            caption = frame->title();
        } else if (const auto *edit = qobject_cast<const QLineEdit *>(control)) {
            caption = edit->text();
        }
        EXPECT_EQ(caption, row.caption);
    }
    EXPECT_EQ(window.font().pixelSize(), 13);
    EXPECT_TRUE(window.font().bold());
}

TEST_F(MainWindow, EveryCaptionFitsItsControl)
{
    frmMain window("");
    for (const auto *button : window.findChildren<QAbstractButton *>()) {
        const QFontMetrics metrics(button->font());
        // What a check box or option button needs besides its text is in its size hint.
        const int width = qobject_cast<const QPushButton *>(button)
                              ? metrics.horizontalAdvance(QString(button->text()).remove('&')) + 8
                              : button->sizeHint().width();
        EXPECT_LE(width, button->width()) << button->objectName().toStdString();
        EXPECT_LE(metrics.height(), button->height()) << button->objectName().toStdString();
    }
    for (const auto *frame : window.findChildren<QGroupBox *>()) {
        EXPECT_LE(QFontMetrics(frame->font()).horizontalAdvance(frame->title()) + 16,
                  frame->width())
            << frame->objectName().toStdString();
    }
}

TEST_F(MainWindow, HasAFixedSizeCentredOnTheScreenAndCanOnlyBeMinimized)
{
    frmMain window("");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.size(), QSize(341, 381));
    window.resize(600, 500);
    EXPECT_EQ(window.size(), QSize(341, 381));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QPoint offCentre =
        window.frameGeometry().center() - window.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);
}

TEST_F(MainWindow, CommandLinePathWithSpacesIsScannedBeforeTheWindowShows)
{
    frmMain window('"' + m_both + '"');
    EXPECT_EQ(window.Path(), m_both);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.ImportsScansRun(), 1);
    EXPECT_EQ(Items(window, "LstDep"), (QStringList{"ADVAPI32.dll", "kernel32.dll", "msvcrt.dll",
                                                    "USER32.dll", "USER32.dll"}));
    EXPECT_EQ(Items(window, "LstImp"), (QStringList{"alpha", "Beta", "Gamma"}));
    EXPECT_TRUE(Enabled(window, "cmdDep"));
    EXPECT_TRUE(Enabled(window, "cmdCheck"));
    EXPECT_FALSE(Enabled(window, "chkType_0"));
}

TEST_F(MainWindow, CommandLineIsOnePathWhateverItHolds)
{
    frmMain twoPaths('"' + m_both + "\" \"" + m_importsOnly + '"');
    EXPECT_EQ(twoPaths.Path(), m_both + ' ' + m_importsOnly);
    EXPECT_EQ(Items(twoPaths, "LstDep"), kErrorMapping);
    EXPECT_EQ(Items(twoPaths, "LstImp"), kErrorMapping);

    for (const std::string &line :
         {std::string("-style fusion"), std::string("--help"), ' ' + m_both}) {
        frmMain window(line);
        EXPECT_EQ(window.Path(), line) << "not trimmed, no switch";
        EXPECT_EQ(Items(window, "LstDep"), kErrorMapping);
    }

    frmMain onlyQuotes("\"\"");
    EXPECT_EQ(Scans(onlyQuotes), 0);
    EXPECT_FALSE(Enabled(onlyQuotes, "cmdDep"));
}

TEST_F(MainWindow, EachChangeOfThePathRunsOneScanAndEmptyTextNone)
{
    frmMain window("");
    SetPath(window, m_both);
    EXPECT_EQ(window.ImportsScansRun(), 1);
    SetPath(window, m_importsOnly);
    EXPECT_EQ(window.ImportsScansRun(), 2);
    SetPath(window, m_importsOnly);
    EXPECT_EQ(window.ImportsScansRun(), 2) << "the same text is no change";
    const QStringList dependencies = Items(window, "LstDep");

    SetPath(window, "");
    EXPECT_EQ(Scans(window), 2);
    EXPECT_FALSE(Enabled(window, "cmdDep"));
    EXPECT_FALSE(Enabled(window, "cmdCheck"));
    EXPECT_EQ(Items(window, "LstDep"), dependencies);
    EXPECT_EQ(Items(window, "LstImp"), QStringList{"No export table."});
}

TEST_F(MainWindow, ChoosingAScanTypeSwitchesTheFileTypesAndRescansWhenThereIsAPath)
{
    frmMain window("");
    Click(window, "optScan_1");
    EXPECT_TRUE(Enabled(window, "chkType_0") && Enabled(window, "chkType_4"));
    Click(window, "optScan_0");
    EXPECT_FALSE(Enabled(window, "chkType_0") || Enabled(window, "chkType_4"));
    EXPECT_EQ(Scans(window), 0) << "no path, no scan";

    SetPath(window, m_both);
    const QStringList exports = Items(window, "LstImp");
    Click(window, "optScan_1");
    EXPECT_EQ(window.DeepScansRun(), 1);
    EXPECT_EQ(window.ImportsScansRun(), 1);
    EXPECT_TRUE(Enabled(window, "chkType_2"));
    EXPECT_EQ(Items(window, "LstImp"), exports) << "the deep scan leaves the exports alone";
    Click(window, "optScan_1");
    EXPECT_EQ(window.DeepScansRun(), 1) << "choosing the chosen type is no change";

    Click(window, "optScan_0");
    EXPECT_EQ(window.ImportsScansRun(), 2);
    EXPECT_EQ(window.DeepScansRun(), 1);
    EXPECT_EQ(Items(window, "LstDep").size(), 5);
}

TEST_F(MainWindow, SelectAndUnselectAllScanOnceForEachBoxThatChanges)
{
    frmMain window("");
    Click(window, "cmdSelect");
    EXPECT_EQ(Scans(window), 0) << "all five were ticked";

    // Imports Scan, boxes disabled, no path: each change still scans, and shows the empty path's
    // mapping error.
    Click(window, "cmdUnselect");
    EXPECT_EQ(window.ImportsScansRun(), 5);
    EXPECT_EQ(Items(window, "LstDep"), kErrorMapping);
    EXPECT_EQ(Items(window, "LstImp"), kErrorMapping);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(Find<QCheckBox>(window, QStringLiteral("chkType_%1").arg(i))->isChecked());
    }
    Click(window, "cmdUnselect");
    EXPECT_EQ(window.ImportsScansRun(), 5);

    SetPath(window, m_both);
    Click(window, "optScan_1");
    EXPECT_EQ(window.DeepScansRun(), 1);
    QTest::mouseClick(Find<QCheckBox>(window, "chkType_2"), Qt::LeftButton);
    EXPECT_EQ(window.DeepScansRun(), 2) << "a click on a box rescans";
    Click(window, "cmdSelect");
    EXPECT_EQ(window.DeepScansRun(), 6) << "four boxes were still unticked";
    EXPECT_EQ(window.ImportsScansRun(), 6);
}

TEST_F(MainWindow, ImportsScanShowsNamesOrEachReadersStatus)
{
    struct Case {
        const std::string *path;
        QStringList dependencies, exports;
    };
    const std::string empty;
    const Case cases[] = {
        {&m_both,
         {"ADVAPI32.dll", "kernel32.dll", "msvcrt.dll", "USER32.dll", "USER32.dll"},
         {"alpha", "Beta", "Gamma"}},
        {&m_importsOnly, {"KERNEL32.dll", "zlib1.dll"}, {"No export table."}},
        {&m_noImports, {"No DLL dependencies found."}, {"alpha", "Beta", "Gamma"}},
        {&empty, kErrorMapping, kErrorMapping},
    };
    // Each case follows one that left other items in both lists.
    frmMain window("");
    for (const auto &c : cases) {
        SCOPED_TRACE(*c.path);
        // An empty path reaches the scan only through a file-type change.
        if (c.path->empty()) {
            SetPath(window, "");
            Click(window, "cmdUnselect");
        } else {
            SetPath(window, *c.path);
        }
        EXPECT_EQ(Items(window, "LstDep"), c.dependencies);
        EXPECT_EQ(Items(window, "LstImp"), c.exports);
        if (!c.path->empty()) {
            Click(window, "cmdDep");
            Click(window, "cmdDep");
            EXPECT_EQ(Items(window, "LstDep"), c.dependencies) << "a rescan doubles nothing";
            EXPECT_EQ(Items(window, "LstImp"), c.exports);
        }
    }
}

TEST_F(MainWindow, TabMovesFromThePathBoxToTheBrowseButtonThenTheListSkippingHiddenControls)
{
    frmMain window(m_both);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QStringList expected = {"txtpath",  "cmdOpen",  "LstDep",      "cmdDep",    "cmdClose",
                                  "cmdAbout", "cmdCheck", "cmdUnselect", "cmdSelect", "optScan_0"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        visited.push_back(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindow, ExportListAndScratchControlsAreNeverSeen)
{
    frmMain window(m_both);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Click(window, "optScan_1");
    Click(window, "optScan_0");
    for (const char *name : {"fraTypes", "LstImp", "List1", "txtTemp"}) {
        const auto *control = Find<QWidget>(window, QLatin1String(name));
        EXPECT_FALSE(control->isVisible()) << name;
        const QRect onWindow(control->mapTo(&window, QPoint(0, 0)), control->size());
        EXPECT_FALSE(onWindow.intersects(window.rect())) << name;
    }
    EXPECT_FALSE(Items(window, "LstImp").isEmpty());
}

TEST_F(MainWindow, TypingPastingOrDeletingInThePathBoxChangesNothing)
{
    frmMain window(m_both);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto *txtpath = Find<QLineEdit>(window, "txtpath");
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(txtpath, QStringLiteral("abc"));
    QTest::keyClick(txtpath, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(txtpath, Qt::Key_Backspace);
    QTest::keyClick(txtpath, Qt::Key_Delete);
    QTest::keyClick(txtpath, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(txtpath, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(txtpath->text().toStdString(), m_both);
    EXPECT_EQ(Scans(window), 1);
    EXPECT_EQ(txtpath->selectedText().toStdString(), m_both) << "it still selects";
}

TEST_F(MainWindow, AccessKeysPressTheirButtons)
{
    frmMainServices noWindows = frmMainServices::Platform();
    noWindows.showCheck = [](const MissingDependencies &, QWidget *) {};
    frmMain window(m_both, noWindows);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // A button pressed by its access key shows itself pressed for a moment before it acts.
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.ImportsScansRun() == 2; }));
    QSignalSpy checkPressed(Find<QPushButton>(window, "cmdCheck"), &QPushButton::clicked);
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(checkPressed.wait());
    QTest::keyClick(&window, Qt::Key_X, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }));
}

} // namespace
} // namespace quorvane
