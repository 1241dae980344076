// What the windows hand to the desktop: the browse button's file dialog (the real QFileDialog,
// typed into as a user would), and the dependency list's double-click, which starts a further
// copy of the program on the file it finds.
#include "support/TempDir.h"
#include "ui/DependencyLaunch.h"
#include "ui/modOpenFile.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Qt's file dialog keeps its last folder in the user's settings: the tests keep theirs apart.
[[maybe_unused]] const bool kPrivateSettings = [] {
    static const TempDir settings;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(settings.Path().string()));
    return true;
}();

// Runs the dialog with a user who types each name into its name box and presses Open, answering
// every create prompt with agree; returns the path chosen and the prompts asked.
std::optional<std::string> Choose(const fs::path &folder, const QStringList &typed, bool agree,
                                  QStringList *prompts)
{
    OpenFileDialogServices services;
    services.confirmCreate = [&](QWidget *, const QString &path) {
        *prompts << path;
        return agree;
    };
    services.run = [&](OpenFileDialog &dialog) {
        dialog.setDirectory(QString::fromStdString(folder.string()));
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        for (const QString &name : typed) {
            edit->setText(name);
            buttons->button(QDialogButtonBox::Open)->click();
        }
        return dialog.result();
    };
    return ShowOpenFileDialog(nullptr, services);
}

TEST(FileDialog, ReturnsTheNameAUserPicksAndCreatesNothing)
{
    const TempDir dir;
    dir.Write("My App.exe", "MZ");
    fs::create_symlink(dir / "My App.exe", dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    fs::create_directory(dir / "sub");
    const struct {
        QStringList typed;
        bool agree;
        std::optional<std::string> chosen;
        QStringList prompts;
    } cases[] = {
        {{"My App.exe"}, false, (dir / "My App.exe").string(), {}},
        {{"link.dll"}, false, (dir / "link.dll").string(), {}}, // the link, not its target
        {{"dangling.dll"}, false, (dir / "dangling.dll").string(), {}},
        {{"new.exe"},
         true,
         (dir / "new.exe").string(),
         {QString::fromStdString((dir / "new.exe").string())}},
        {{"new.exe"}, false, std::nullopt, {QString::fromStdString((dir / "new.exe").string())}},
        {{"sub"}, false, std::nullopt, {}}, // a folder opens instead of being chosen
        {{}, true, std::nullopt, {}},       // cancel
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.join(",").toStdString());
        QStringList prompts;
        EXPECT_EQ(Choose(dir.Path(), c.typed, c.agree, &prompts), c.chosen);
        EXPECT_EQ(prompts, c.prompts);
    }
    EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

// A disk of real files for the lookup, and recorders for what the double-click starts and says.
struct Launch {
    TempDir app, sys;
    std::vector<std::vector<std::string>> started;
    QStringList messages;

    Launch()
    {
        std::ofstream(app / "zlib1.dll") << "MZ";
        fs::create_directory(app / "sub");
        std::ofstream(app / "sub" / "zlib1.dll") << "MZ";
        std::ofstream(sys / "kernel32.dll") << "MZ";
        std::ofstream(sys / "USER32.DLL") << "MZ";
        std::ofstream(sys / "user32.dll") << "MZ";
        fs::create_directory(sys / "folder.dll");
    }
    DependencyLookupServices Lookup() const
    {
        return {[](const std::string &path) { return OnDiskPath(path).has_value(); },
                [this] { return sys.Path().string(); }};
    }
    DependencyLaunchServices Services(std::string program = "/usr/bin/quorvane")
    {
        DependencyLaunchServices s;
        s.programPath = [program] { return program; };
        s.startDetached = [this](const std::string &, const std::vector<std::string> &arguments,
                                 QString &) {
            started.push_back(arguments);
            return true;
        };
        s.showMessage = [this](QWidget *, QMessageBox::Icon icon, const QString &title,
                               const QString &text) {
            messages << (icon == QMessageBox::Critical ? "critical " : "other ") + title + ": " +
                            text.section(QStringLiteral("\n\n"), -1);
        };
        return s;
    }
};

TEST(DoubleClick, StartsANewCopyOnTheFileFoundAsSpeltOnDiskOrSaysItIsNowhere)
{
    const QString notFound = QStringLiteral(
        "critical Not Found: File not found in application folder or system folder!");
    Launch launch;
    const std::string main = (launch.app / "main.exe").string();
    const struct {
        std::string name;
        std::string started; // empty: none
        QString message;
    } cases[] = {
        {"zlib1.dll", (launch.app / "zlib1.dll").string(), {}},
        {"KERNEL32.dll", (launch.sys / "kernel32.dll").string(), {}},
        {"user32.dll", (launch.sys / "user32.dll").string(), {}}, // the exact spelling first
        {"User32.Dll", (launch.sys / "USER32.DLL").string(), {}}, // then byte order
        {"folder.dll", {}, notFound},
        {"Error mapping file.", {}, notFound},
        // Names from a file never lead outside the two folders.
        {"../" + launch.sys.Path().filename().string() + "/kernel32.dll", {}, notFound},
        {(launch.sys / "kernel32.dll").string(), {}, notFound},
        {"sub/zlib1.dll", {}, notFound},
        {"..", {}, notFound},
        {std::string("zlib1.dll\0.exe", 14), {}, notFound},
    };
    QWidget owner;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        launch.started.clear();
        launch.messages.clear();
        OpenDependencyInNewCopy(&owner, main, &c.name, launch.Lookup(), launch.Services());
        EXPECT_EQ(launch.started, c.started.empty()
                                      ? std::vector<std::vector<std::string>>{}
                                      : std::vector<std::vector<std::string>>{{c.started}});
        EXPECT_EQ(launch.messages, c.message.isEmpty() ? QStringList{} : QStringList{c.message});
    }
    launch.messages.clear();
    OpenDependencyInNewCopy(&owner, main, nullptr, launch.Lookup(), launch.Services());
    EXPECT_TRUE(launch.started.empty() && launch.messages.isEmpty()) << "no current item";

    // A program that cannot start: the system's reason, after the path.
    const std::string name = "zlib1.dll";
    DependencyLaunchServices cannot = launch.Services((launch.app / "no-such-program").string());
    cannot.startDetached = nullptr;
    OpenDependencyInNewCopy(&owner, main, &name, launch.Lookup(), cannot);
    ASSERT_EQ(launch.messages.size(), 1);
    EXPECT_TRUE(launch.messages[0].startsWith("critical Quorvane: "));
    EXPECT_GT(launch.messages[0].size(), QStringLiteral("critical Quorvane: ").size());
}

TEST(DoubleClick, AFoundPathWithSpacesQuotesAndNoUtf8ReachesTheNewCopyWhole)
{
    const TempDir dir, system;
    // Windows-1252 letters, as files unpacked from a Windows archive carry them.
    const fs::path app = dir / "My \"Apps\" & 'Tools' $HOME caf\xe9";
    fs::create_directory(app);
    const std::string name = "my lib;rm -rf.dll";
    std::ofstream(app / name) << "MZ";
    const fs::path out = dir / "argv.txt";
    qputenv("QUORVANE_ARGV_PROBE_OUT", QByteArray::fromStdString(out.string()));

    QWidget owner;
    DependencyLaunchServices services;
    services.programPath = [] { return std::string(QUORVANE_ARGV_PROBE); };
    services.showMessage = [](QWidget *, QMessageBox::Icon, const QString &, const QString &text) {
        ADD_FAILURE() << text.toStdString();
    };
    const DependencyLookupServices lookup{
        [](const std::string &path) { return OnDiskPath(path).has_value(); },
        [&] { return system.Path().string(); }};
    OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), &name, lookup, services);

    QElapsedTimer timer;
    timer.start();
    while (!fs::exists(out) && timer.elapsed() < 20000) {
        QThread::msleep(20);
    }
    qunsetenv("QUORVANE_ARGV_PROBE_OUT");
    std::ifstream file(out, std::ios::binary);
    std::vector<std::string> received;
    for (std::string line; std::getline(file, line);) {
        received.push_back(line);
    }
    EXPECT_EQ(received, (std::vector<std::string>{"1", (app / name).string()}));
}

} // namespace
} // namespace quorvane
