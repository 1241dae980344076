// The program from main's arguments to the shown window: the command line is only ever a path,
// and Qt never sees it.
#include "ui/Application.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

struct Shown {
    QString path, style;
    QStringList dependencies;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    int status = -1;
};

// Runs the program on the arguments, notes what the window shows once it is up, and ends it
// through its Exit button.
Shown RunProgram(std::vector<std::string> arguments)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    std::vector<char *> argv;
    for (auto &argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Shown shown;
    shown.status = RunApplication(static_cast<int>(arguments.size()), argv.data(), [&](frmMain &w) {
        EXPECT_TRUE(w.isVisible());
        shown.path = w.txtpath->text();
        shown.dependencies = ItemTexts(*w.findChild<QAbstractItemView *>("LstDep"));
        shown.style = QApplication::style()->name();
        shown.direction = QApplication::layoutDirection();
        QTimer::singleShot(0, w.cmdClose, &QPushButton::click);
        QTimer::singleShot(10000, qApp, [] {
            ADD_FAILURE() << "Exit did not end the program";
            QCoreApplication::exit(1);
        });
    });
    return shown;
}

TEST(Startup, QtOptionsOnTheCommandLineAreAPathNotSwitches)
{
    // The words of the command line, joined by one space each, are the path.
    const Shown style = RunProgram({"quorvane", "-style", "windows"});
    EXPECT_EQ(style.status, 0);
    EXPECT_EQ(style.path, "-style windows");
    EXPECT_NE(style.style.toLower(), "windows");
    EXPECT_EQ(style.dependencies, QStringList{"Error mapping file."});
    const Shown reverse = RunProgram({"quorvane", "-reverse"});
    EXPECT_EQ(reverse.path, "-reverse");
    EXPECT_EQ(reverse.direction, Qt::LeftToRight);
    EXPECT_EQ(RunProgram({"quorvane", "--help"}).path, "--help");
}

} // namespace
} // namespace quorvane
