#include "ui/DependencyLaunch.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QProcess>

namespace quorvane {

namespace {

void ShowMessageBox(QWidget *owner, QMessageBox::Icon icon, const QString &title,
                    const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace

bool StartDetachedProcess(const QString &program, const QStringList &arguments, QString &reason)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (process.startDetached()) {
        return true;
    }
    reason = process.errorString();
    return false;
}

void OpenDependencyInNewCopy(QWidget *owner, const QString &pathText, const QListWidget &LstDep,
                             const DependencyLookupServices &lookup,
                             const DependencyLaunchServices &services)
{
    const QListWidgetItem *current = LstDep.currentItem();
    if (!current) {
        return;
    }
    const auto show = services.showMessage ? services.showMessage : ShowMessageBox;

    const auto found =
        FindDependency(pathText.toStdString(), current->text().toStdString(), lookup);
    if (!found) {
        show(owner, QMessageBox::Critical,
             QString::fromUtf8(kNotFoundTitle.data(), qsizetype(kNotFoundTitle.size())),
             QString::fromUtf8(kNotFoundText.data(), qsizetype(kNotFoundText.size())));
        return;
    }

    const QString program =
        services.programPath ? services.programPath() : QCoreApplication::applicationFilePath();
    const QString target = QString::fromStdString(*found);
    QString reason;
    const bool started = services.startDetached ? services.startDetached(program, {target}, reason)
                                                : StartDetachedProcess(program, {target}, reason);
    if (!started) {
        show(owner, QMessageBox::Critical, QString::fromLatin1(kStartFailedTitle),
             QStringLiteral("Could not open a new window on\n%1\n\n%2").arg(target, reason));
    }
}

} // namespace quorvane
