#pragma once

#include <QString>
#include <QWidget>

#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

template <typename T> class QFutureWatcher;

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace quorvane {

class SortedListBox;
struct DeepScanResult;

/// The windows and the process start that the main window's buttons and list reach, injected so
/// that tests can stand in for modal windows. Platform() gives the real ones.
struct frmMainServices {
    /// The file-open dialog; the chosen path, or nothing when the user cancels.
    std::function<std::optional<QString>(QWidget *owner)> openFile;
    /// The missing-dependency window, modal over owner, for the path and the dependency list.
    std::function<void(const QString &path, const QStringList &dependencies, QWidget *owner)>
        showCheck;
    /// The About box, modal over owner.
    std::function<void(QWidget *owner)> showAbout;
    /// A double-click on the dependency list: a further copy of the program on the current item.
    std::function<void(QWidget *owner, const QString &path, const QListWidget &LstDep)>
        openDependency;

    static frmMainServices Platform();
};

/// The start-up window: the path of the file under analysis, the choice of scan, and the
/// dependency list. Every piece of state lives in its controls; a scan runs after every change of
/// the path, the scan type or a file type.
class frmMain : public QWidget {
    Q_OBJECT

public:
    /// Builds the window and runs its load handler with the program's command-line text, as the
    /// platform delivered it; a command-line file is scanned before the window first shows.
    explicit frmMain(const QString &commandLine,
                     frmMainServices services = frmMainServices::Platform(),
                     QWidget *parent = nullptr);
    ~frmMain() override;

    // The controls, by the names the whole program uses for them; each is also the widget's object
    // name. The control arrays' elements are named "optScan_0", "chkType_3" and so on.
    QGroupBox *fraScan = nullptr;
    std::array<QRadioButton *, 2> optScan{};
    QGroupBox *Frame1 = nullptr;
    std::array<QCheckBox *, 5> chkType{};
    QPushButton *cmdSelect = nullptr;
    QPushButton *cmdUnselect = nullptr;
    QPushButton *cmdAbout = nullptr;
    QGroupBox *fraTypes = nullptr;
    SortedListBox *LstImp = nullptr;
    QGroupBox *fraDependencies = nullptr;
    QPushButton *cmdCheck = nullptr;
    SortedListBox *LstDep = nullptr;
    QGroupBox *frmPE = nullptr;
    QLineEdit *txtpath = nullptr;
    QPushButton *cmdOpen = nullptr;
    QListWidget *List1 = nullptr;
    QLineEdit *txtTemp = nullptr;
    QPushButton *cmdClose = nullptr;
    QPushButton *cmdDep = nullptr;

    /// How many times each scan has run since the window was built, load handler included.
    int ImportsScansRun() const { return m_importsScansRun; }
    int DeepScansRun() const { return m_deepScansRun; }
    /// Whether a deep scan is running on its worker thread.
    bool DeepScanRunning() const { return m_deepScan.watcher != nullptr; }

signals:
    /// A deep scan ended and its names reached the lists.
    void DeepScanApplied();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
    void SetTabOrder();
    void ConnectHandlers();

    void Form_Load();
    void txtpath_Change();
    void optScan_Click(int index);
    void chkType_Click(int index);
    void cmdSelect_Click();
    void cmdUnselect_Click();
    void cmdDep_Click();
    void cmdClose_Click();
    void cmdOpen_Click();
    void cmdCheck_Click();
    void cmdAbout_Click();
    void LstDep_DblClick();
    static void ShowCurrentItemAsToolTip(QListWidget &list);

    void ScanImports();
    void StartDeepScan();
    void CancelDeepScan();
    void DeepScanFinished(QFutureWatcher<DeepScanResult> *watcher);
    void SetBusy(bool busy);

    // The deep scan that owns the lists: its watcher and the flag that cancels it.
    struct RunningDeepScan {
        QFutureWatcher<DeepScanResult> *watcher = nullptr;
        std::shared_ptr<std::atomic<bool>> cancel;
    };

    QString m_commandLine;
    frmMainServices m_services;
    RunningDeepScan m_deepScan;
    bool m_busy = false;
    bool m_centred = false;
    int m_importsScansRun = 0;
    int m_deepScansRun = 0;
};

} // namespace quorvane
