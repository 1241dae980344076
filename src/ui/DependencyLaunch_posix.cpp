#include "ui/DependencyLaunch.h"

#include "core/platform/ProcessStart.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>
#include <filesystem>

namespace quorvane {

std::string OwnProgramPath()
{
    // The link's bytes, whatever the folders' names are made of; Qt's own answer is text.
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty()) {
        return self.string();
    }
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

bool StartProgram(const std::string &program, const std::vector<std::string> &arguments,
                  QString &reason)
{
    const int failed = StartDetached(program, arguments);
    if (failed == 0) {
        return true;
    }
    reason = QString::fromLocal8Bit(std::strerror(failed));
    return false;
}

} // namespace quorvane
