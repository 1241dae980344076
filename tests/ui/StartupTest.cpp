// The program from main's arguments to the shown window: the command line is only ever a path,
// and Qt never sees it.
#include "ui/Application.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(Startup, APathWithSpacesIsScannedQuotedOrNot)
{
    test::TempDir dir;
    test::PeBuilder exe;
    exe.imports = {"USER32.dll", "KERNEL32.dll"};
    std::filesystem::create_directory(dir / "my files");
    const std::string path = exe.Build().WriteTo(dir / "my files" / "a b.exe").string();
    // The shell passes a quoted path as one word, an unquoted one as a word per space.
    const std::size_t space = path.find(' ');
    const std::size_t second = path.find(' ', space + 1);
    for (const std::vector<std::string> &argv :
         {std::vector<std::string>{"quorvane", path},
          {"quorvane", path.substr(0, space), path.substr(space + 1, second - space - 1),
           path.substr(second + 1)}}) {
        const Shown shown = RunProgram(argv);
        EXPECT_EQ(shown.status, 0);
        EXPECT_EQ(shown.path.toStdString(), path);
        EXPECT_EQ(shown.dependencies, (QStringList{"KERNEL32.dll", "USER32.dll"}));
    }
}

TEST(Startup, QtOptionsOnTheCommandLineAreAPathNotSwitches)
{
    const Shown style = RunProgram({"quorvane", "-style", "windows"});
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
