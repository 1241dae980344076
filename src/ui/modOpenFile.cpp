#include "ui/modOpenFile.h"

#include "core/platform/FolderListing.h"

#include <QFileInfo>
#include <QMessageBox>

#include <filesystem>

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
    if (files.size() == 1 && !QFileInfo(files.front()).fileName().isEmpty()) {
        // A dangling link is still a file on disk: its own path is what the user picked.
        std::error_code error;
        const bool exists =
            std::filesystem::symlink_status(PathOnDisk(files.front()), error).type() !=
            std::filesystem::file_type::not_found;
        if (!exists) {
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

std::string PathOnDisk(const QString &chosen)
{
    namespace fs = std::filesystem;
    const auto exists = [](const std::string &path) {
        std::error_code error;
        return fs::symlink_status(path, error).type() != fs::file_type::not_found;
    };
    std::string whole = chosen.toStdString();
    if (exists(whole)) {
        return whole;
    }
    std::string path;
    const QStringList parts = chosen.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts[i];
        std::string bytes = part.toStdString();
        if (!part.isEmpty() && !exists(path + bytes)) {
            std::string found;
            int matches = 0;
            ListFolder(path.empty() ? std::string(".") : path,
                       [&](std::string_view entry, EntryKind) {
                           if (QString::fromUtf8(entry.data(), qsizetype(entry.size())) == part) {
                               found = entry;
                               ++matches;
                           }
                       });
            if (matches == 1) {
                bytes = std::move(found);
            }
        }
        path += bytes;
        if (i + 1 < parts.size()) {
            path += '/';
        }
    }
    return path;
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
    return PathOnDisk(files.front());
}

} // namespace quorvane
