#pragma once

#include "core/check/MissingCheck.h"
#include "core/platform/modShellExecute.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quorvane {

/// What the missing-dependency window asks of the platform. Each one left empty is the real
/// thing; tests put recording stand-ins in, so that no message box or browser ever opens.
struct frmCheckServices {
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

/// The missing-dependency window: the names of the dependency list that are in neither the
/// application folder nor the system folder, a web search for one of them, and a copy of some.
class frmCheck final : public QDialog {
    Q_OBJECT

public:
    /// path: the text of the main window's path box; dependencies: its dependency list's items in
    /// list order; owner: the main window. Builds the window without loading it.
    frmCheck(const QString &path, const QStringList &dependencies, QWidget *owner,
             frmCheckServices services = {});
    ~frmCheck() override;

    /// Loads the window and shows it modally over owner; returns once it has closed, which it does
    /// by itself when nothing is missing.
    static void ShowModal(const QString &path, const QStringList &dependencies, QWidget *owner,
                          frmCheckServices services = {});

    /// The check: both prefixes into their labels, then every dependency searched for under the
    /// prefixes read back from them; the names found in neither folder fill lstCheck.
    void Form_Load();
    /// When nothing is missing: the message, then the window closes. Otherwise nothing.
    void Form_Activate();

    /// How many names the load appended to lstCheck.
    int MissingCount() const { return m_missingCount; }

private:
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
    QListWidget *lstCheck;
    QPushButton *cmdCopy;
    QPushButton *cmdExit;

    QString m_path;
    QStringList m_dependencies;
    frmCheckServices m_services;
    int m_missingCount = 0;
    bool m_reported = false;
};

} // namespace quorvane
