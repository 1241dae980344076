#include "ui/modOpenFile.h"

#include <QFileInfo>
#include <QMessageBox>

namespace quorvane {

OpenFileDialog::OpenFileDialog(QWidget *owner, ConfirmCreateFn confirmCreate)
    : QFileDialog(owner), m_confirmCreate(std::move(confirmCreate))
{
    setObjectName(QStringLiteral("modOpenFile"));
    setWindowTitle(QString::fromLatin1(kOpenFileTitle));
    setNameFilter(QString::fromLatin1(kOpenFileFilter));
    setOptions(FixedOptions());
    // "Open" wording, but a name that does not exist is let through to accept() below, which
    // asks before letting it go: the create prompt of a classic open dialog.
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::AnyFile);
}

QFileDialog::Options OpenFileDialog::FixedOptions()
{
    // Qt's own dialog, not the desktop's: only it honours the create prompt and returns a link's
    // own path everywhere.
    return QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog;
}

void OpenFileDialog::accept()
{
    const QStringList files = selectedFiles();
    if (files.size() == 1) {
        const QFileInfo info(files.front());
        // A dangling link is still a file on disk: its own path is what the user picked.
        const bool exists = info.exists() || info.isSymLink();
        if (!exists && !info.fileName().isEmpty()) {
            const bool create = m_confirmCreate ? m_confirmCreate(this, files.front())
                                                : AskToCreateFile(this, files.front());
            if (!create) {
                return; // back to the dialog, as after any refused choice
            }
        }
    }
    // Folders (open them), "..", and everything else as Qt handles them.
    QFileDialog::accept();
}

bool AskToCreateFile(QWidget *parent, const QString &path)
{
    const QString text = QStringLiteral("%1\nThis file does not exist.\nDo you want to create it?")
                             .arg(QFileInfo(path).fileName());
    const auto answer =
        QMessageBox::question(parent, parent ? parent->windowTitle() : QString(), text,
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return answer == QMessageBox::Yes;
}

std::optional<QString> ShowOpenFileDialog(QWidget *owner, const OpenFileDialogServices &services)
{
    OpenFileDialog dialog(owner, services.confirmCreate);
    const int result = services.run ? services.run(dialog) : dialog.exec();
    if (result != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.size() != 1 || files.front().isEmpty()) {
        return std::nullopt;
    }
    return files.front();
}

} // namespace quorvane
