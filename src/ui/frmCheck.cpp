#include "ui/frmCheck.h"

#include "core/platform/modSysFolder.h"
#include "ui/ApplicationIcon.h"
#include "ui/ClassicFonts.h"
#include "ui/ClassicLook.h"
#include "ui/NameList.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <string_view>

namespace quorvane {
namespace {

constexpr std::string_view kCaption = "Missing Dependencies";
constexpr std::string_view kCheckCaption = "Dependency Check";
constexpr std::string_view kCheckText =
    "The following dependencies were not found in the application folder or in the system:";
constexpr std::string_view kAppPathCaption = "App Path:";
constexpr std::string_view kSysPathCaption = "Sys Path:";
constexpr std::string_view kMissingCaption = "Missing Dependencies";
constexpr std::string_view kCopyCaption = "&Copy Selected";
constexpr std::string_view kCloseCaption = "Close";
constexpr std::string_view kAllFoundText = "All required DLL files found.";
constexpr std::string_view kAllFoundTitle = "No Missing DLLs";
constexpr std::string_view kOpenOperation = "open";

// Positions and sizes are kept in twips, 15 to a pixel, so that each line reads like the layout
// table.
constexpr int Twips(int twips)
{
    return twips / 15;
}

QRect TwipsRect(int left, int top, int width, int height)
{
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText); // a path is never markup
    ShowToolTipAsPlainText(label);
    return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    // Neither button is the default: Enter presses only the button that has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

CheckServices WithPlatformServices(CheckServices services)
{
    if (!services.systemFolder) {
        services.systemFolder = [] { return GetSystemFolder(); };
    }
    if (!services.openDocument) {
        services.openDocument = [](const std::string &document, std::int32_t showCommand,
                                   const std::string &parameters, const std::string &directory,
                                   const std::string &operation, WindowHandle owner) {
            return ShellOpenDocument(document, showCommand, parameters, directory, operation,
                                     owner);
        };
    }
    if (!services.clearClipboard) {
        services.clearClipboard = [] { QApplication::clipboard()->clear(); };
    }
    if (!services.setClipboardText) {
        services.setClipboardText = [](const QString &text) {
            QApplication::clipboard()->setText(text);
        };
    }
    if (!services.showInformation) {
        services.showInformation = [](QWidget *parent, const QString &text, const QString &title) {
            QMessageBox::information(parent, title, text, QMessageBox::Ok);
        };
    }
    return services;
}

} // namespace

MissingDependencies CheckDependencies(const std::string &path,
                                      const std::vector<std::string> &dependencies,
                                      const CheckServices &services)
{
    const CheckServices real = WithPlatformServices(services);
    MissingDependencies outcome;
    outcome.appPrefix = ApplicationPrefix(path);
    outcome.sysPrefix = SystemPrefix(real.systemFolder());
    outcome.missing =
        FindMissingNames(outcome.appPrefix, outcome.sysPrefix, dependencies, real.isPresent);
    return outcome;
}

frmCheck::frmCheck(const std::string &path, const std::vector<std::string> &dependencies,
                   QWidget *owner, CheckServices services)
    : frmCheck(owner, std::move(services))
{
    m_path = path;
    m_dependencies = dependencies;
}

frmCheck::frmCheck(MissingDependencies outcome, QWidget *owner, CheckServices services)
    : frmCheck(owner, std::move(services))
{
    m_outcome = std::move(outcome);
}

frmCheck::frmCheck(QWidget *owner, CheckServices services)
    : QDialog(owner), m_services(WithPlatformServices(std::move(services)))
{
    setObjectName("frmCheck");
    setWindowTitle(Text(kCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(4590), Twips(5325));
    setWindowIcon(ApplicationIcon());
    UseClassicFrames(*this);

    fraCheck = new QGroupBox(Text(kCheckCaption), this);
    fraCheck->setObjectName("fraCheck");
    fraCheck->setGeometry(TwipsRect(0, 0, 4575, 1695));
    lblCheck = MakeLabel(fraCheck, "lblCheck", Text(kCheckText), TwipsRect(120, 240, 4335, 495));
    lblApp1 = MakeLabel(fraCheck, "lblApp1", Text(kAppPathCaption), TwipsRect(120, 840, 735, 255));
    lblAppPath = MakeLabel(fraCheck, "lblAppPath", QString(), TwipsRect(960, 840, 3495, 375));
    lblSys1 = MakeLabel(fraCheck, "lblSys1", Text(kSysPathCaption), TwipsRect(120, 1320, 735, 255));
    lblSysPath = MakeLabel(fraCheck, "lblSysPath", QString(), TwipsRect(960, 1320, 3495, 255));

    frmMissing = new QGroupBox(Text(kMissingCaption), this);
    frmMissing->setObjectName("frmMissing");
    frmMissing->setGeometry(TwipsRect(0, 1680, 4575, 3015));
    lstCheck = new NameListView(frmMissing);
    lstCheck->setObjectName("lstCheck");
    lstCheck->setGeometry(TwipsRect(120, 240, 4335, 2595));
    lstCheck->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QPalette red = lstCheck->palette();
    red.setColor(QPalette::Text, QColor(255, 0, 0));
    lstCheck->setPalette(red);

    cmdCopy = MakeButton(this, "cmdCopy", Text(kCopyCaption), TwipsRect(0, 4800, 2055, 495));
    cmdExit = MakeButton(this, "cmdExit", Text(kCloseCaption), TwipsRect(2520, 4800, 2055, 495));

    // The platform's classic dialog font, as the main window's small controls use it; set on every
    // control, since the frames' style sheet keeps a window's font from reaching its controls.
    SetFontEverywhere(*this, ClassicFont(PointsToPixels(8.25), false));

    // Close, then Copy Selected, then the list; labels and frames take no focus.
    setTabOrder(cmdExit, cmdCopy);
    setTabOrder(cmdCopy, lstCheck);
    cmdExit->setFocus();

    // A click on a name, and a move of the current name by keyboard, each open one search.
    connect(lstCheck, &QAbstractItemView::clicked, this, &frmCheck::lstCheck_Click);
    connect(lstCheck, &NameListView::CurrentMovedByKeyboard, this, &frmCheck::lstCheck_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmCheck::cmdCopy_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmCheck::cmdExit_Click);
}

frmCheck::~frmCheck() = default;

void frmCheck::ShowModal(MissingDependencies outcome, QWidget *owner, CheckServices services)
{
    frmCheck window(std::move(outcome), owner, std::move(services));
    window.Form_Load();
    CentreOnOwner(window, owner);
    window.exec();
}

void frmCheck::Form_Load()
{
    if (!m_outcome) {
        m_outcome = CheckDependencies(m_path, m_dependencies, m_services);
    }
    // The labels show the prefixes the search used; a path that is not UTF-8 is drawn readably,
    // while the search had its bytes.
    lblAppPath->setText(DrawnText(m_outcome->appPrefix, kLongestDrawnPath));
    lblSysPath->setText(DrawnText(m_outcome->sysPrefix, kLongestDrawnPath));
    lblAppPath->setToolTip(lblAppPath->text());
    lblSysPath->setToolTip(lblSysPath->text());
    m_missingCount = static_cast<int>(m_outcome->missing.size());
    lstCheck->Names().SetNames(std::move(m_outcome->missing));
}

void frmCheck::Form_Activate()
{
    // Once only: the message box itself hands the activation back to this window when it closes.
    if (m_missingCount != 0 || m_reported) {
        return;
    }
    m_reported = true;
    m_services.showInformation(this, Text(kAllFoundText), Text(kAllFoundTitle));
    close();
}

void frmCheck::lstCheck_Click()
{
    const std::string *name = lstCheck->CurrentName();
    // What the shell makes of it is of no concern here: a search that cannot open stays silent.
    // The opener is started and left to run, so the window goes on at once.
    m_services.openDocument(WebSearchAddress(name ? *name : std::string()), kShowDefault,
                            std::string(), std::string(), std::string(kOpenOperation),
                            static_cast<WindowHandle>(winId()));
}

void frmCheck::cmdCopy_Click()
{
    if (lstCheck->Names().Count() == 0) {
        return; // the clipboard keeps what it holds
    }
    m_services.clearClipboard();
    std::string text;
    for (const int row : lstCheck->SelectedRows()) {
        text += lstCheck->Names().Name(row);
        text += "\r\n";
    }
    m_services.setClipboardText(QString::fromStdString(text));
}

void frmCheck::cmdExit_Click()
{
    close();
}

bool frmCheck::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) {
        // After the activation has been handled, inside the modal loop, so that closing from here
        // ends that loop.
        QMetaObject::invokeMethod(this, &frmCheck::Form_Activate, Qt::QueuedConnection);
    }
    return QDialog::event(event);
}

void frmCheck::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept(); // no cancel button: Escape closes nothing
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto *button = qobject_cast<QPushButton *>(focusWidget())) {
            button->click();
        }
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace quorvane
