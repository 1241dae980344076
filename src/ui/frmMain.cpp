#include "ui/frmMain.h"

#include "core/check/FilePresence.h"
#include "core/lists/ListFill.h"
#include "core/platform/modSysFolder.h"
#include "core/scan/DeepScan.h"
#include "ui/ClassicFonts.h"
#include "ui/DependencyLaunch.h"
#include "ui/SortedListBox.h"
#include "ui/Twips.h"
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/modOpenFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFont>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

#include <string>
#include <vector>

namespace quorvane {
namespace {

constexpr auto kCaption = "Quorvane";
constexpr int kClientWidth = 5115;
constexpr int kClientHeight = 5715;

// The layout's fonts: 9.75 points bold for the window, 9.75 regular and 8.25 regular for controls.
constexpr int kLargeFontPixels = PointsToPixels(9.75);
constexpr int kSmallFontPixels = PointsToPixels(8.25);

void Setup(QWidget *control, const QString &name, int left, int top, int width, int height,
           const QFont &font)
{
    control->setObjectName(name);
    control->setGeometry(TwipsRect(left, top, width, height));
    control->setFont(font);
}

QString ElementName(const char *array, std::size_t index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index);
}

QStringList ToItems(const std::vector<std::string> &texts)
{
    QStringList items;
    items.reserve(static_cast<qsizetype>(texts.size()));
    for (const auto &text : texts) {
        items.push_back(QString::fromStdString(text));
    }
    return items;
}

} // namespace

frmMain::frmMain(const QString &commandLine, frmMainServices services, QWidget *parent)
    : QWidget(parent), m_commandLine(commandLine), m_services(std::move(services))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kCaption));
    // A fixed single border: a minimize button, but no maximize button and no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Twips(kClientWidth), Twips(kClientHeight));
    setFont(ClassicFont(kLargeFontPixels, true));

    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    txtpath->setFocus();
    Form_Load();
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
    LstImp = new SortedListBox(fraTypes);
    Setup(LstImp, QStringLiteral("LstImp"), 120, 360, 3975, 3180, large);

    fraDependencies = new QGroupBox(QStringLiteral("DLL Imports"), this);
    Setup(fraDependencies, QStringLiteral("fraDependencies"), 120, 840, 2895, 4335, large);
    cmdCheck = new QPushButton(QStringLiteral("&Check Dependencies"), fraDependencies);
    Setup(cmdCheck, QStringLiteral("cmdCheck"), 120, 3840, 2655, 375, small);
    cmdCheck->setEnabled(false);
    cmdCheck->setToolTip(QStringLiteral("Get File Info"));
    LstDep = new SortedListBox(fraDependencies);
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
    List1 = new QListWidget(this);
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
    connect(LstDep, &QListWidget::currentItemChanged, this,
            [this] { ShowCurrentItemAsToolTip(*LstDep); });
    connect(LstDep, &QListWidget::itemClicked, this, [this] { ShowCurrentItemAsToolTip(*LstDep); });
    connect(LstImp, &QListWidget::itemClicked, this, [this] { ShowCurrentItemAsToolTip(*LstImp); });
    connect(LstDep, &QListWidget::itemDoubleClicked, this, &frmMain::LstDep_DblClick);
}

frmMainServices frmMainServices::Platform()
{
    frmMainServices services;
    services.openFile = [](QWidget *owner) { return ShowOpenFileDialog(owner); };
    services.showCheck = [](const QString &path, const QStringList &dependencies, QWidget *owner) {
        frmCheck::ShowModal(path, dependencies, owner);
    };
    services.showAbout = [](QWidget *owner) { frmAbout::ShowModal(owner); };
    services.openDependency = [](QWidget *owner, const QString &path, const QListWidget &list) {
        const DependencyLookupServices lookup{
            [](const std::string &prefixedPath) { return IsFilePresent(prefixedPath); },
            &GetSystemFolder};
        OpenDependencyInNewCopy(owner, path, list, lookup);
    };
    return services;
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
    if (m_commandLine.isEmpty()) {
        return;
    }
    // The whole command line is the path: quotes go wherever they stand, nothing is trimmed, and
    // setting the text runs the path-change handler, which scans.
    QString path = m_commandLine;
    path.remove(QLatin1Char('"'));
    txtpath->setText(path);
}

void frmMain::txtpath_Change()
{
    // An empty path disables Refresh but keeps the lists as they are.
    const bool havePath = !txtpath->text().isEmpty();
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
    if (const auto path = m_services.openFile(this)) {
        txtpath->setText(*path);
    }
}

void frmMain::cmdCheck_Click()
{
    QStringList dependencies;
    dependencies.reserve(LstDep->count());
    for (int row = 0; row < LstDep->count(); ++row) {
        dependencies.push_back(LstDep->item(row)->text());
    }
    m_services.showCheck(txtpath->text(), dependencies, this);
}

void frmMain::cmdAbout_Click()
{
    m_services.showAbout(this);
}

void frmMain::ShowCurrentItemAsToolTip(QListWidget &list)
{
    // A name wider than the list can be read in full by resting the pointer on it.
    if (const QListWidgetItem *current = list.currentItem()) {
        list.setToolTip(current->text());
    }
}

void frmMain::LstDep_DblClick()
{
    m_services.openDependency(this, txtpath->text(), *LstDep);
}

void frmMain::ScanImports()
{
    ++m_importsScansRun;
    CancelDeepScan(); // a newer request supersedes a running deep scan
    LstDep->clear();
    LstImp->clear();
    // Paths are UTF-8 throughout the core, on every platform.
    const auto result = quorvane::ScanImports(txtpath->text().toStdString());
    LstDep->AddItems(ToItems(result.dependencies));
    LstImp->AddItems(ToItems(result.exports));
}

void frmMain::StartDeepScan()
{
    // The dependency list empties at once and the export list keeps what it showed. The search
    // runs on a worker thread so that the window keeps painting and answering; its names reach
    // the lists in one step when it ends, unless a newer request has superseded it by then.
    ++m_deepScansRun;
    LstDep->clear();
    CancelDeepScan();

    std::array<bool, 5> ticked{};
    for (std::size_t i = 0; i < chkType.size(); ++i) {
        ticked[i] = chkType[i]->isChecked();
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto *watcher = new QFutureWatcher<DeepScanResult>(this);
    m_deepScan = {watcher, cancel};
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher] { DeepScanFinished(watcher); });
    SetBusy(true);
    watcher->setFuture(QtConcurrent::run([path = txtpath->text().toStdString(), ticked, cancel] {
        return RunDeepScan(path, ticked, cancel.get());
    }));
}

void frmMain::CancelDeepScan()
{
    if (m_deepScan.cancel) {
        m_deepScan.cancel->store(true);
    }
    m_deepScan = {};
    SetBusy(false);
}

void frmMain::DeepScanFinished(QFutureWatcher<DeepScanResult> *watcher)
{
    watcher->deleteLater();
    if (watcher != m_deepScan.watcher) {
        return; // superseded: a newer scan owns the lists now
    }
    m_deepScan = {};
    SetBusy(false);
    const DeepScanResult result = watcher->result();
    if (result.outcome == DeepScanOutcome::Cancelled) {
        return;
    }
    // The scratch list keeps the scan's distinct names in their order; the dependency list shows
    // those that pass the extension test, sorted.
    List1->clear();
    List1->addItems(ToItems(result.scratch));
    LstDep->AddItems(ToItems(result.dependencies));
    emit DeepScanApplied();
}

void frmMain::SetBusy(bool busy)
{
    if (busy != m_busy) {
        m_busy = busy;
        if (busy) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
}

frmMain::~frmMain()
{
    // Closing the program during a scan ends the scan too; the worker sees its flag within one
    // piece of the file.
    CancelDeepScan();
}

} // namespace quorvane
