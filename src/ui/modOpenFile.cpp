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
    // own path everywhere. The type box shows the filter's name, not its patterns.
    return QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog |
           QFileDialog::HideNameFilterDetails;
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
    QMessageBox box(QMessageBox::Question, parent ? parent->windowTitle() : QString(),
                    QStringLiteral("%1\nThis file does not exist.\nDo you want to create it?")
                        .arg(QFileInfo(path).fileName()),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText); // a file name is never markup
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> ShowOpenFileDialog(QWidget *owner, const OpenFileDialogSeam &seam)
{
    OpenFileDialog dialog(owner, seam.confirmCreate);
    const int result = seam.run ? seam.run(dialog) : dialog.exec();
    if (result != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.size() != 1 || files.front().isEmpty()) {
        return std::nullopt;
    }
    // Qt reads folders as UTF-8 and lists no entry whose name is not (QFileSystemIterator skips
    // it), so what the dialog returns is always UTF-8, and its bytes are the path.
    return files.front().toStdString();
}

} // namespace quorvane
