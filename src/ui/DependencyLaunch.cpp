#include "ui/DependencyLaunch.h"

#include "ui/NameList.h"

namespace quorvane {

namespace {

void ShowMessageBox(QWidget *owner, QMessageBox::Icon icon, const QString &title,
                    const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText); // a path is never markup
    box.exec();
}

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void OpenDependencyInNewCopy(QWidget *owner, const std::string &path, const std::string *name,
                             const DependencyLookup &lookup, const DependencyLaunchSeam &seam)
{
    if (name == nullptr) {
        return;
    }
    const auto show = seam.showMessage ? seam.showMessage : ShowMessageBox;

    const auto found = FindDependency(path, *name, lookup);
    if (!found) {
        show(owner, QMessageBox::Critical, Text(kNotFoundTitle), Text(kNotFoundText));
        return;
    }

    const std::string program = seam.programPath ? seam.programPath() : OwnProgramPath();
    QString reason;
    const bool started = seam.startDetached ? seam.startDetached(program, {*found}, reason)
                                            : StartProgram(program, {*found}, reason);
    if (!started) {
        show(owner, QMessageBox::Critical, QString::fromLatin1(kStartFailedTitle),
             QStringLiteral("Could not open a new window on\n%1\n\n%2")
                 .arg(DrawnText(*found, kLongestDrawnPath), reason));
    }
}

} // namespace quorvane
