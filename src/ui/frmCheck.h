#pragma once

#include "core/check/MissingCheck.h"
#include "core/platform/modShellExecute.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;

namespace quorvane {

class NameListView;

/// What the missing-dependency window asks of the platform. Each one left empty is the real
/// thing; tests put recording stand-ins in, so that no message box or browser ever opens.
struct CheckServices {
    /// The system folder without a trailing separator (GetSystemFolder).
    std::function<std::string()> systemFolder;
    /// The shell's document opening, with ShellOpenDocument's arguments.
    std::function<bool(const std::string &document, std::int32_t showCommand,
                       const std::string &parameters, const std::string &defaultDirectory,
                       const std::string &operation, WindowHandle owner)>
        openDocument;
    /// Clears the clipboard.
    std::function<void()> clearClipboard;
    /// Puts plain text on the clipboard.
    std::function<void(const QString &text)> setClipboardText;
    /// A modal message box with an information icon and one OK button; returns when dismissed.
    std::function<void(QWidget *parent, const QString &text, const QString &title)> showInformation;
    /// One file search (prefix, name); empty: each folder read once per check.
    PresenceTest isPresent;
};

/// What the missing-dependency window shows: the two prefixes searched (bytes, as the path and
/// the system folder spell them) and the names found under neither, in list order.
struct MissingDependencies {
    std::string appPrefix;
    std::string sysPrefix;
    std::vector<std::string> missing;
};

/// The check the window's load runs: both prefixes, then every dependency searched for under
/// them. It touches no widget, so it may run on any thread, as far as the services' systemFolder
/// and isPresent may (the real ones may).
MissingDependencies CheckDependencies(const std::string &path,
                                      const std::vector<std::string> &dependencies,
                                      const CheckServices &services = {});

/// The missing-dependency window: the names of the dependency list that are in neither the
/// application folder nor the system folder, a web search for one of them, and a copy of some.
class frmCheck final : public QDialog {
    Q_OBJECT

public:
    /// path: the path of the file under analysis (bytes); dependencies: the dependency list's
    /// names in list order; owner: the main window. Builds the window without loading it.
    frmCheck(const std::string &path, const std::vector<std::string> &dependencies, QWidget *owner,
             CheckServices services = {});
    /// The window for a check already made (on a worker thread); its load only shows it.
    frmCheck(MissingDependencies outcome, QWidget *owner, CheckServices services = {});
    ~frmCheck() override;

    /// Loads the window for a check already made and shows it modally over owner, centred on it;
    /// returns once it has closed, which it does by itself when nothing is missing.
    static void ShowModal(MissingDependencies outcome, QWidget *owner, CheckServices services = {});

    /// The load: the check (unless it was made already), both prefixes into their labels, and the
    /// names found in neither folder into lstCheck.
    void Form_Load();
    /// When nothing is missing: the message, then the window closes. Otherwise nothing.
    void Form_Activate();

    /// How many names the load appended to lstCheck.
    int MissingCount() const { return m_missingCount; }

private:
    frmCheck(QWidget *owner, CheckServices services);
    void lstCheck_Click();
    void cmdCopy_Click();
    void cmdExit_Click();

    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

    QGroupBox *fraCheck;
    QLabel *lblCheck;
    QLabel *lblApp1;
    QLabel *lblAppPath;
    QLabel *lblSys1;
    QLabel *lblSysPath;
    QGroupBox *frmMissing;
    NameListView *lstCheck;
    QPushButton *cmdCopy;
    QPushButton *cmdExit;

    std::string m_path;
    std::vector<std::string> m_dependencies;
    std::optional<MissingDependencies> m_outcome;
    CheckServices m_services;
    int m_missingCount = 0;
    bool m_reported = false;
};

} // namespace quorvane
