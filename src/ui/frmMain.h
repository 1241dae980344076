#pragma once

#include "ui/frmCheck.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

template <typename T> class QFutureWatcher;

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace quorvane {

class NameListView;
class ScanRunner;
struct ScanLists;

/// The windows and the process start that the main window's buttons and list reach, injected so
/// that tests can stand in for modal windows. Platform() gives the real ones (PlatformServices.cpp
/// wires them). Paths are bytes, as the system names files.
struct frmMainServices {
    /// The file-open dialog; the chosen path, or nothing when the user cancels.
    std::function<std::optional<std::string>(QWidget *owner)> openFile;
    /// The missing-dependency check for the path and the dependency list's names in list order.
    /// It runs on a worker thread, so that a check of 150,000 names leaves the window answering.
    std::function<MissingDependencies(const std::string &path,
                                      const std::vector<std::string> &dependencies)>
        checkDependencies;
    /// The missing-dependency window, modal over owner, showing a check's outcome.
    std::function<void(MissingDependencies outcome, QWidget *owner)> showCheck;
    /// The About box, modal over owner.
    std::function<void(QWidget *owner)> showAbout;
    /// A double-click on the dependency list: a further copy of the program on the current item's
    /// name (nullptr when the list has no current item).
    std::function<void(QWidget *owner, const std::string &path, const std::string *name)>
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
    /// platform delivered it (bytes); a command-line file is scanned before the window first shows.
    explicit frmMain(std::string commandLine,
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
    NameListView *LstImp = nullptr;
    QGroupBox *fraDependencies = nullptr;
    QPushButton *cmdCheck = nullptr;
    NameListView *LstDep = nullptr;
    QGroupBox *frmPE = nullptr;
    QLineEdit *txtpath = nullptr;
    QPushButton *cmdOpen = nullptr;
    NameListView *List1 = nullptr;
    QLineEdit *txtTemp = nullptr;
    QPushButton *cmdClose = nullptr;
    QPushButton *cmdDep = nullptr;

    /// The path of the file under analysis, as bytes; the path box shows it as text.
    const std::string &Path() const { return m_path; }
    /// How many times each scan has run since the window was built, load handler included.
    int ImportsScansRun() const { return m_importsScansRun; }
    int DeepScansRun() const { return m_deepScansRun; }
    /// Whether a scan is running on its worker thread; its lists have not arrived yet.
    bool ScanRunning() const;
    /// Whether Check Dependencies was pressed and its window is not open yet: it waits for the
    /// running scan's lists, then for the check.
    bool CheckWaiting() const { return m_checkWanted; }

signals:
    /// A scan ended and its names reached the lists.
    void ScanApplied();

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
    static void ShowCurrentItemAsToolTip(NameListView &list);

    void SetPath(std::string path);
    void ScanImports();
    void StartDeepScan();
    void ApplyScan(ScanLists &&lists);
    void ContinueCheck();
    using CheckJob = QFutureWatcher<std::optional<MissingDependencies>>;
    void CheckFinished(CheckJob *job);
    void ShowBusy();

    std::string m_commandLine;
    std::string m_path;
    frmMainServices m_services;
    ScanRunner *m_scan = nullptr;
    // Check Dependencies pressed; the check running on its worker, if it runs yet.
    bool m_checkWanted = false;
    CheckJob *m_checkJob = nullptr;
    bool m_loading = true;
    Qt::CursorShape m_cursor = Qt::ArrowCursor; // the pointer shown over the program's own
    bool m_centred = false;
    int m_importsScansRun = 0;
    int m_deepScansRun = 0;
};

} // namespace quorvane
