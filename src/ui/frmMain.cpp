#include "ui/frmMain.h"

#include "ui/ClassicFonts.h"
#include "ui/ClassicLook.h"
#include "ui/NameList.h"
#include "ui/ScanRunner.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFont>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane {
namespace {

constexpr auto kCaption = "Quorvane";
constexpr int kClientWidth = 5115;
constexpr int kClientHeight = 5715;

// The layout is drawn in twips, 15 to a pixel at 96 dots per inch.
constexpr int Twips(int twips)
{
    return twips / 15;
}

// The layout's fonts: 9.75 points bold for the window, 9.75 regular and 8.25 regular for controls.
constexpr int kLargeFontPixels = PointsToPixels(9.75);
constexpr int kSmallFontPixels = PointsToPixels(8.25);

void Setup(QWidget *control, const QString &name, int left, int top, int width, int height,
           const QFont &font)
{
    control->setObjectName(name);
    control->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    control->setFont(font);
}

QString ElementName(const char *array, std::size_t index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index);
}

} // namespace

frmMain::frmMain(std::string commandLine, frmMainServices services, QWidget *parent)
    : QWidget(parent), m_commandLine(std::move(commandLine)), m_services(std::move(services)),
      m_scan(new ScanRunner([this](ScanLists &&lists) { ApplyScan(std::move(lists)); }, this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kCaption));
    // A fixed single border: a minimize button, but no maximize button and no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Twips(kClientWidth), Twips(kClientHeight));
    setFont(ClassicFont(kLargeFontPixels, true));
    UseClassicFrames(*this);

    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    txtpath->setFocus();
    Form_Load();
    // From here on every scan runs on the worker; the first, of a command-line file, was listed
    // before the window first showed.
    m_loading = false;
}

void frmMain::CreateControls()
{
    const QFont large = ClassicFont(kLargeFontPixels, false);
    const QFont small = ClassicFont(kSmallFontPixels, false);
    const QFont windowFont = font();

    // In the order of the window's control list; Left, Top, Width, Height in twips, each from the
    // top-left corner of its container.
    fraScan = new QGroupBox(QStringLiteral("Scan Type"), this);
    Setup(fraScan, QStringLiteral("fraScan"), 3120, 840, 1935, 1215, large);
    optScan[1] = new QRadioButton(QStringLiteral("Deep Scan"), fraScan);
    Setup(optScan[1], ElementName("optScan", 1), 120, 720, 1575, 255, large);
    optScan[0] = new QRadioButton(QStringLiteral("Imports Scan"), fraScan);
    Setup(optScan[0], ElementName("optScan", 0), 120, 360, 1575, 255, large);
    optScan[0]->setChecked(true);

    Frame1 = new QGroupBox(QStringLiteral("File Types"), this);
    Setup(Frame1, QStringLiteral("Frame1"), 3120, 2040, 1935, 3135, large);
    chkType[4] = new QCheckBox(QStringLiteral("TLB Files"), Frame1);
    Setup(chkType[4], ElementName("chkType", 4), 120, 1800, 1215, 255, large);
    chkType[0] = new QCheckBox(QStringLiteral("DLL Files"), Frame1);
    Setup(chkType[0], ElementName("chkType", 0), 120, 360, 1335, 255, large);
    chkType[1] = new QCheckBox(QStringLiteral("OCX Files"), Frame1);
    Setup(chkType[1], ElementName("chkType", 1), 120, 720, 1335, 255, large);
    chkType[2] = new QCheckBox(QStringLiteral("SYS Files"), Frame1);
    Setup(chkType[2], ElementName("chkType", 2), 120, 1080, 1335, 255, large);
    chkType[3] = new QCheckBox(QStringLiteral("DRV Files"), Frame1);
    Setup(chkType[3], ElementName("chkType", 3), 120, 1440, 1335, 255, large);
    for (auto *box : chkType) {
        box->setChecked(true);
    }
    cmdSelect = new QPushButton(QStringLiteral("Select All"), Frame1);
    Setup(cmdSelect, QStringLiteral("cmdSelect"), 120, 2160, 1695, 375, large);
    cmdUnselect = new QPushButton(QStringLiteral("Unselect All"), Frame1);
    Setup(cmdUnselect, QStringLiteral("cmdUnselect"), 120, 2640, 1695, 375, large);

    cmdAbout = new QPushButton(QStringLiteral("About"), this);
    Setup(cmdAbout, QStringLiteral("cmdAbout"), 120, 5280, 1575, 375, small);

    // The export list is filled by every Imports Scan but never shown: its frame is hidden and
    // lies beyond the right and bottom edges.
    fraTypes = new QGroupBox(QStringLiteral("Function Exports"), this);
    Setup(fraTypes, QStringLiteral("fraTypes"), 4320, 6240, 4215, 3855, large);
    fraTypes->setVisible(false);
    LstImp = new NameListView(fraTypes);
    Setup(LstImp, QStringLiteral("LstImp"), 120, 360, 3975, 3180, large);

    fraDependencies = new QGroupBox(QStringLiteral("DLL Imports"), this);
    Setup(fraDependencies, QStringLiteral("fraDependencies"), 120, 840, 2895, 4335, large);
    cmdCheck = new QPushButton(QStringLiteral("&Check Dependencies"), fraDependencies);
    Setup(cmdCheck, QStringLiteral("cmdCheck"), 120, 3840, 2655, 375, small);
    cmdCheck->setEnabled(false);
    cmdCheck->setToolTip(QStringLiteral("Get File Info"));
    LstDep = new NameListView(fraDependencies);
    Setup(LstDep, QStringLiteral("LstDep"), 120, 360, 2655, 3420, large);

    frmPE = new QGroupBox(QStringLiteral("Executable File"), this);
    Setup(frmPE, QStringLiteral("frmPE"), 120, 0, 4935, 855, large);
    // Locked: the user can select and copy the path but not type, paste or delete; only the
    // program sets it. It shows the window's own font.
    txtpath = new QLineEdit(frmPE);
    Setup(txtpath, QStringLiteral("txtpath"), 120, 240, 4095, 405, windowFont);
    txtpath->setReadOnly(true);
    txtpath->setToolTip(QStringLiteral("File Name"));
    cmdOpen = new QPushButton(QStringLiteral("..."), frmPE);
    Setup(cmdOpen, QStringLiteral("cmdOpen"), 4320, 240, 495, 405, large);
    cmdOpen->setToolTip(QStringLiteral("Browse File"));

    // The deep scan's working storage. It lies below the bottom edge of a window that cannot grow,
    // and is kept hidden and out of the tab order as well, so that neither the eye nor the
    // keyboard ever lands on it.
    List1 = new NameListView(this);
    Setup(List1, QStringLiteral("List1"), 120, 6360, 3015, 3960, small);
    txtTemp = new QLineEdit(QStringLiteral("Temporary Variable Storage Buffer"), this);
    Setup(txtTemp, QStringLiteral("txtTemp"), 3480, 6360, 735, 495, small);
    for (QWidget *scratch : {static_cast<QWidget *>(List1), static_cast<QWidget *>(txtTemp)}) {
        scratch->setFocusPolicy(Qt::NoFocus);
        scratch->setVisible(false);
    }

    cmdClose = new QPushButton(QStringLiteral("E&xit"), this);
    Setup(cmdClose, QStringLiteral("cmdClose"), 3480, 5280, 1575, 375, small);
    cmdClose->setToolTip(QStringLiteral("Close"));
    cmdDep = new QPushButton(QStringLiteral("&Refresh"), this);
    Setup(cmdDep, QStringLiteral("cmdDep"), 1800, 5280, 1575, 375, small);
    cmdDep->setEnabled(false);
    cmdDep->setToolTip(QStringLiteral("Get File Info"));
}

void frmMain::SetTabOrder()
{
    // By tab index. Frames take no focus, and Qt skips disabled and hidden controls on its own.
    const std::vector<QWidget *> order = {
        txtpath,    cmdOpen,    LstDep,     cmdDep,      cmdClose,   txtTemp,    List1,
        cmdAbout,   cmdCheck,   LstImp,     cmdUnselect, cmdSelect,  chkType[3], chkType[2],
        chkType[1], chkType[0], chkType[4], optScan[0],  optScan[1],
    };
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void frmMain::ConnectHandlers()
{
    // Change notifications rather than clicks: setting a control from code must run its handler
    // just as a user's change does, and start-up and Select All rely on it to start scans.
    connect(txtpath, &QLineEdit::textChanged, this, &frmMain::txtpath_Change);
    for (std::size_t i = 0; i < optScan.size(); ++i) {
        const int index = static_cast<int>(i);
        // An option button reports being chosen; the one that loses the choice reports nothing.
        connect(optScan[i], &QRadioButton::toggled, this, [this, index](bool checked) {
            if (checked) {
                optScan_Click(index);
            }
        });
    }
    for (std::size_t i = 0; i < chkType.size(); ++i) {
        const int index = static_cast<int>(i);
        connect(chkType[i], &QCheckBox::toggled, this, [this, index] { chkType_Click(index); });
    }
    connect(cmdSelect, &QPushButton::clicked, this, &frmMain::cmdSelect_Click);
    connect(cmdUnselect, &QPushButton::clicked, this, &frmMain::cmdUnselect_Click);
    connect(cmdDep, &QPushButton::clicked, this, &frmMain::cmdDep_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMain::cmdClose_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmMain::cmdCheck_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    // A click, and a move of the current item by keyboard, both land here.
    connect(LstDep->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowCurrentItemAsToolTip(*LstDep); });
    connect(LstDep, &QAbstractItemView::clicked, this,
            [this] { ShowCurrentItemAsToolTip(*LstDep); });
    connect(LstImp, &QAbstractItemView::clicked, this,
            [this] { ShowCurrentItemAsToolTip(*LstImp); });
    connect(LstDep, &QAbstractItemView::doubleClicked, this, &frmMain::LstDep_DblClick);
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!m_centred && !event->spontaneous()) {
        m_centred = true;
        if (const QScreen *display = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(display->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void frmMain::Form_Load()
{
    // The path box is still empty here, so this only disables the file-type boxes.
    optScan_Click(0);
    if (m_commandLine.empty()) {
        return;
    }
    // The whole command line is the path: quotes go wherever they stand, nothing is trimmed, and
    // setting the path runs the path-change handler, which scans.
    std::string path = m_commandLine;
    path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
    SetPath(std::move(path));
}

void frmMain::SetPath(std::string path)
{
    // The path box shows the path as text; the bytes, which need not be UTF-8, are what the scans
    // and the double-click take. Two paths that look alike are still two paths.
    const QString shown = DrawnText(path, kLongestDrawnPath);
    if (path == m_path && shown == txtpath->text()) {
        return;
    }
    m_path = std::move(path);
    if (shown == txtpath->text()) {
        txtpath_Change();
    } else {
        txtpath->setText(shown);
    }
}

void frmMain::txtpath_Change()
{
    // Text put into the path box by anything but SetPath is the path itself.
    if (txtpath->text() != DrawnText(m_path, kLongestDrawnPath)) {
        m_path = txtpath->text().toStdString();
    }
    // An empty path disables Refresh but keeps the lists as they are.
    const bool havePath = !m_path.empty();
    cmdDep->setEnabled(havePath);
    if (havePath) {
        cmdDep_Click();
    }
    cmdCheck->setEnabled(havePath);
}

void frmMain::optScan_Click(int index)
{
    // The file types matter to the Deep Scan only; their ticks stay as they are.
    const bool deepScan = index != 0;
    for (auto *box : chkType) {
        box->setEnabled(deepScan);
    }
    if (!txtpath->text().isEmpty()) {
        cmdDep_Click();
    }
}

void frmMain::chkType_Click(int /*index*/)
{
    // Any change of the file types rescans, whatever the scan type and even with no path: the
    // Imports Scan of an empty path shows its mapping error in both lists.
    cmdDep_Click();
}

void frmMain::cmdSelect_Click()
{
    // Each box that changes runs its own scan; one already ticked raises nothing.
    for (auto *box : chkType) {
        box->setChecked(true);
    }
}

void frmMain::cmdUnselect_Click()
{
    for (auto *box : chkType) {
        box->setChecked(false);
    }
}

void frmMain::cmdDep_Click()
{
    if (optScan[0]->isChecked()) {
        ScanImports();
    }
    if (optScan[1]->isChecked()) {
        StartDeepScan();
    }
}

void frmMain::cmdClose_Click()
{
    close();
    QCoreApplication::quit();
}

void frmMain::cmdOpen_Click()
{
    // The chosen path goes into the path box, whose change handler scans it; cancel changes
    // nothing.
    if (auto path = m_services.openFile(this)) {
        SetPath(std::move(*path));
    }
}

void frmMain::cmdCheck_Click()
{
    // The check is of the list the user is looking at: a scan still running will change it, so
    // the check waits for its lists. It then runs on a worker, and its window opens when it ends;
    // the window meanwhile keeps answering and shows that it is busy.
    m_checkWanted = true;
    ContinueCheck();
    ShowBusy();
}

void frmMain::ContinueCheck()
{
    if (!m_checkWanted || m_scan->Running() || m_checkJob != nullptr) {
        return;
    }
    auto *job = new CheckJob(this);
    m_checkJob = job;
    connect(job, &QFutureWatcherBase::finished, this, [this, job] { CheckFinished(job); });
    job->setFuture(QtConcurrent::run(
        [check = m_services.checkDependencies, path = m_path, names = LstDep->Names().AllNames()] {
            try {
                return std::optional<MissingDependencies>(check(path, *names));
            } catch (...) {
                return std::optional<MissingDependencies>(); // out of memory: no window
            }
        }));
}

void frmMain::CheckFinished(CheckJob *job)
{
    job->deleteLater();
    if (job != m_checkJob) {
        return; // a scan started meanwhile: the check runs again on its lists
    }
    m_checkJob = nullptr;
    m_checkWanted = false;
    ShowBusy();
    // No scan runs while the window is open, and none can start: it is modal.
    if (auto outcome = job->future().takeResult()) {
        m_services.showCheck(std::move(*outcome), this);
    }
}

void frmMain::cmdAbout_Click()
{
    m_services.showAbout(this);
}

void frmMain::ShowCurrentItemAsToolTip(NameListView &list)
{
    // A name wider than the list can be read in full by resting the pointer on it.
    if (const std::string *name = list.CurrentName()) {
        list.setToolTip(DrawnText(*name));
    }
}

void frmMain::LstDep_DblClick()
{
    m_services.openDependency(this, m_path, LstDep->CurrentName());
}

void frmMain::ScanImports()
{
    ++m_importsScansRun;
    m_checkJob = nullptr; // a check of the lists this scan replaces is of no use
    LstDep->Names().Clear();
    LstImp->Names().Clear();
    ScanRequest request{ScanKind::Imports, m_path, {}};
    if (m_loading) {
        ScanLists lists = RunScan(request); // before the window first shows
        lists.forDependencyList = lists.forExportList = true;
        ApplyScan(std::move(lists));
        return;
    }
    m_scan->Start(std::move(request));
    ShowBusy();
}

void frmMain::StartDeepScan()
{
    // The dependency list empties at once and the export list keeps what it showed. The scan runs
    // on a worker thread, so that the window keeps painting and answering; its names reach the
    // lists in one step when it ends, unless a newer request has superseded it by then.
    ++m_deepScansRun;
    m_checkJob = nullptr; // a check of the lists this scan replaces is of no use
    LstDep->Names().Clear();
    ScanRequest request{ScanKind::Deep, m_path, {}};
    for (std::size_t i = 0; i < chkType.size(); ++i) {
        request.ticked[i] = chkType[i]->isChecked();
    }
    m_scan->Start(std::move(request));
    ShowBusy();
}

void frmMain::ApplyScan(ScanLists &&lists)
{
    if (lists.kind == ScanKind::Imports) {
        if (lists.forDependencyList) {
            LstDep->Names().SetNames(std::move(lists.dependencies));
        }
        if (lists.forExportList) {
            LstImp->Names().SetNames(std::move(lists.exports));
        }
    } else {
        // The scratch list keeps the scan's distinct names in their order; the dependency list
        // shows those that pass the extension test, sorted.
        List1->Names().SetNames(std::move(lists.scratch));
        LstDep->Names().SetNames(std::move(lists.dependencies));
    }
    ShowBusy();
    emit ScanApplied();
    ContinueCheck();
}

bool frmMain::ScanRunning() const
{
    return m_scan->Running();
}

void frmMain::ShowBusy()
{
    // The busy pointer while a scan runs: the window stays usable. The wait pointer while Check
    // Dependencies waits: its window is on the way. The arrow stands for no pointer of our own.
    Qt::CursorShape cursor = Qt::ArrowCursor;
    if (m_checkWanted) {
        cursor = Qt::WaitCursor;
    } else if (m_scan->Running()) {
        cursor = Qt::BusyCursor;
    }
    if (cursor == m_cursor) {
        return;
    }
    if (m_cursor == Qt::ArrowCursor) {
        QApplication::setOverrideCursor(cursor);
    } else if (cursor == Qt::ArrowCursor) {
        QApplication::restoreOverrideCursor();
    } else {
        QApplication::changeOverrideCursor(cursor);
    }
    m_cursor = cursor;
}

frmMain::~frmMain()
{
    // Closing the program during a scan ends the scan too; the worker sees its flag within one
    // piece of the file. A check on its way is dropped.
    m_scan->Cancel();
    m_checkJob = nullptr;
    m_checkWanted = false;
    ShowBusy();
}

} // namespace quorvane
