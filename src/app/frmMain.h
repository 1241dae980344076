#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace quorvane {

class SortedListBox;

/// The start-up window: the path of the file under analysis, the choice of scan, and the
/// dependency list. Every piece of state lives in its controls; a scan runs after every change of
/// the path, the scan type or a file type.
class frmMain : public QWidget {
    Q_OBJECT

public:
    /// Builds the window and runs its load handler with the program's command-line text, as the
    /// platform delivered it; a command-line file is scanned before the window first shows.
    explicit frmMain(const QString &commandLine, QWidget *parent = nullptr);

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

    void ScanImports();
    void StartDeepScan();

    QString m_commandLine;
    bool m_centred = false;
    int m_importsScansRun = 0;
    int m_deepScansRun = 0;
};

} // namespace quorvane
