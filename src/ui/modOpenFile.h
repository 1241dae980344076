#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace quorvane {

inline constexpr char kOpenFileTitle[] = "Open the file to view its dependencies";
/// The one filter; its type box shows the name alone (HideNameFilterDetails).
inline constexpr char kOpenFileFilter[] = "Windows Dependency Files (*.exe *.dll *.ocx)";

/// Asks whether a file that does not exist yet should be "created"; true to accept its name.
using ConfirmCreateFn = std::function<bool(QWidget *parent, const QString &path)>;

/// The file-open dialog of the browse button: Qt's own widget dialog (the same on every platform),
/// one file, existing or new, a link's own path rather than its target. Typing the name of a file
/// that does not exist asks whether to create it; agreeing returns the name, and nothing is
/// created on disk.
class OpenFileDialog : public QFileDialog {
    Q_OBJECT

public:
    /// confirmCreate answers the create prompt; empty means a question box.
    explicit OpenFileDialog(QWidget *owner, ConfirmCreateFn confirmCreate = {});

    /// The options the dialog is always opened with.
    static QFileDialog::Options FixedOptions();

public slots:
    void accept() override;

private:
    ConfirmCreateFn m_confirmCreate;
};

/// What tests put in place of the user. Empty members mean the real thing.
struct OpenFileDialogSeam {
    /// Runs the configured dialog and returns QDialog::Accepted or QDialog::Rejected; the
    /// default shows it modally with exec(). A test can inspect the dialog here, pick a file
    /// with selectFile() and accept() it, or reject it.
    std::function<int(OpenFileDialog &dialog)> run;
    /// Answers the create prompt for a name that does not exist.
    ConfirmCreateFn confirmCreate;
};

/// Shows the file-open dialog modally over owner and returns the chosen path (UTF-8, as Qt's
/// dialog lists only names that are), or nothing when the user cancels. Each call builds the
/// dialog afresh with the same title, filter and options.
std::optional<std::string> ShowOpenFileDialog(QWidget *owner, const OpenFileDialogSeam &seam = {});

/// The create prompt as the user sees it: a question box over parent, Yes or No.
bool AskToCreateFile(QWidget *parent, const QString &path);

} // namespace quorvane
