#include "ui/Application.h"

#include "core/lists/CommandLine.h"
#include "ui/ApplicationIcon.h"
#include "ui/frmMain.h"

#include <QApplication>

namespace quorvane {

int RunApplication(int argc, char **argv, const std::function<void(frmMain &)> &started)
{
    // The command line is only ever a path. It is taken before Qt sees the arguments, and Qt gets
    // the program's name alone, so "-style fusion" or "--help" names a file, never a Qt option.
    std::string commandLine = ProgramCommandLineText(argc, argv);
    static char fallbackName[] = "quorvane";
    char *qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    InstallApplicationIcon(); // all three windows show it

    frmMain window(std::move(commandLine));
    window.show();
    if (started) {
        started(window);
    }
    return QApplication::exec();
}

} // namespace quorvane
