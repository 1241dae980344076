#include "ui/DependencyLaunch.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

namespace quorvane {

// Paths are UTF-8 in the core on Windows; the system takes them as UTF-16.
std::string OwnProgramPath()
{
    return QCoreApplication::applicationFilePath().toStdString();
}

bool StartProgram(const std::string &program, const std::vector<std::string> &arguments,
                  QString &reason)
{
    QStringList texts;
    for (const std::string &argument : arguments) {
        texts.push_back(QString::fromStdString(argument));
    }
    QProcess process;
    process.setProgram(QString::fromStdString(program));
    process.setArguments(texts);
    if (process.startDetached()) {
        return true;
    }
    reason = process.errorString();
    return false;
}

} // namespace quorvane
