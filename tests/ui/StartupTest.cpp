// The program from main's arguments to the shown window: the command line is only ever a path,
// and Qt never sees it.
#include "ui/Application.h"
#include "ui/frmMain.h"

#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QAbstractItemView>
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
    QString path;
    std::string pathBytes;
    QStringList dependencies;
    QString style;
    Qt::LayoutDirection direction = Qt::LeftToRight;
};

// Runs the program with the given arguments, notes what the window shows once it is up, and ends
// it through its Exit button.
Shown RunProgram(std::vector<std::string> arguments, int *status = nullptr)
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
    const int result =
        RunApplication(static_cast<int>(arguments.size()), argv.data(), [&shown](frmMain &window) {
            EXPECT_TRUE(window.isVisible());
            shown.path = window.findChild<QLineEdit *>("txtpath")->text();
            shown.pathBytes = window.Path();
            const auto *list = window.findChild<QAbstractItemView *>("LstDep");
            for (int i = 0; i < list->model()->rowCount(); ++i) {
                shown.dependencies.push_back(list->model()->index(i, 0).data().toString());
            }
            shown.style = QApplication::style()->name();
            shown.direction = QApplication::layoutDirection();
            auto *exit = window.findChild<QPushButton *>("cmdClose");
            QTimer::singleShot(0, exit, &QPushButton::click);
            // Should Exit fail to end the program, the test fails instead of hanging.
            QTimer::singleShot(10000, qApp, [] {
                ADD_FAILURE() << "Exit did not end the program";
                QCoreApplication::exit(1);
            });
        });
    if (status != nullptr) {
        *status = result;
    }
    return shown;
}

TEST(Startup, APathWithSpacesOrNotInUtf8IsScannedQuotedOrNot)
{
    test::TempDir dir;
    test::PeBuilder exe;
    exe.imports = {"USER32.dll", "KERNEL32.dll"};
    const QStringList dependencies = {"KERNEL32.dll", "USER32.dll"};
    // A Linux file name is bytes: Windows-1252 letters from an unpacked archive stay as they are,
    // and the path box shows what cannot be read as U+FFFD.
    const struct {
        const char *folder, *file;
        QString shown;
    } cases[] = {
        {"my files", "a b.exe", QStringLiteral("my files/a b.exe")},
        {"caf\xe9 files", "\xe9t\xe9 b.exe", QStringLiteral("caf\ufffd files/\ufffdt\ufffd b.exe")},
    };
    for (const auto &c : cases) {
        std::filesystem::create_directory(dir / c.folder);
        const auto path = exe.Build().WriteTo(dir / c.folder / c.file).string();
        SCOPED_TRACE(c.file);

        // The shell passes a quoted path as one word, an unquoted one as a word per space.
        int status = -1;
        const Shown quoted = RunProgram({"quorvane", path}, &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(quoted.pathBytes, path);
        EXPECT_TRUE(quoted.path.endsWith(c.shown)) << quoted.path.toStdString();
        EXPECT_EQ(quoted.dependencies, dependencies);

        std::vector<std::string> words = {"quorvane"};
        for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
            end = path.find(' ', start);
            words.push_back(path.substr(start, end == std::string::npos ? end : end - start));
        }
        ASSERT_EQ(words.size(), 4u);
        const Shown unquoted = RunProgram(words);
        EXPECT_EQ(unquoted.pathBytes, path);
        EXPECT_EQ(unquoted.dependencies, dependencies);
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

TEST(Startup, NoArgumentsAtAllOpenAnEmptyWindow)
{
    const Shown none = RunProgram({});
    EXPECT_TRUE(none.path.isEmpty());
    EXPECT_TRUE(none.dependencies.isEmpty());
}

} // namespace
} // namespace quorvane
