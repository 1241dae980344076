// What the windows hand to the desktop: the browse button's file dialog (the real QFileDialog,
// typed into as a user would), and the dependency list's double-click, which starts a further
// copy of the program on the file it finds.
#include "support/TempDir.h"
#include "ui/DependencyLaunch.h"
#include "ui/modOpenFile.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(FileDialog, ReturnsTheNameAUserPicksAndCreatesNothing)
{
    const test::TempDir dir;
    // Qt's file dialog keeps its last folder in the user's settings: the test keeps its own.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Path().string()));
    dir.Write("My App.exe", "MZ");
    fs::create_symlink(dir / "My App.exe", dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    fs::create_directory(dir / "sub");
    const struct {
        QString typed; // empty: cancel
        bool agree;    // to the create prompt
        std::string chosen;
        int prompts;
    } cases[] = {
        {"My App.exe", false, (dir / "My App.exe").string(), 0},
        {"link.dll", false, (dir / "link.dll").string(), 0}, // the link, not its target
        {"dangling.dll", false, (dir / "dangling.dll").string(), 0},
        {"new.exe", true, (dir / "new.exe").string(), 1},
        {"new.exe", false, "", 1},
        {"sub", true, "", 0}, // a folder opens instead of being chosen
        {"", true, "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        int prompts = 0;
        OpenFileDialogServices services;
        services.confirmCreate = [&](QWidget *, const QString &path) {
            EXPECT_EQ(path.toStdString(), (dir / "new.exe").string());
            return ++prompts, c.agree;
        };
        services.run = [&](OpenFileDialog &dialog) {
            dialog.setDirectory(QString::fromStdString(dir.Path().string()));
            if (!c.typed.isEmpty()) {
                dialog.findChild<QLineEdit *>("fileNameEdit")->setText(c.typed);
                dialog.findChild<QDialogButtonBox *>("buttonBox")
                    ->button(QDialogButtonBox::Open)
                    ->click();
            }
            return dialog.result();
        };
        EXPECT_EQ(ShowOpenFileDialog(nullptr, services).value_or(""), c.chosen);
        EXPECT_EQ(prompts, c.prompts);
    }
    EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

TEST(DoubleClick, StartsANewCopyOnTheFileFoundAsSpeltOnDiskOrSaysItIsNowhere)
{
    // Windows-1252 letters, as files unpacked from a Windows archive carry them, and signs a
    // shell would take.
    const test::TempDir dir;
    const fs::path app = dir / "My \"Apps\" & 'Tools' $HOME caf\xe9", sys = dir / "sys";
    for (const fs::path &file : {app / "my lib;rm -rf.dll", app / "sub" / "zlib1.dll",
                                 sys / "kernel32.dll", sys / "USER32.DLL", sys / "user32.dll"}) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "MZ";
    }
    fs::create_directory(sys / "folder.dll");
    // The new copy stands in as a script that writes down its arguments.
    const fs::path copy = dir / "copy", out = dir / "copy.out";
    std::ofstream(copy)
        << "#!/bin/sh\nprintf '%s\\n' $# \"$@\" >\"$0.part\"; mv \"$0.part\" \"$0.out\"\n";
    fs::permissions(copy, fs::perms::owner_all);
    const DependencyLookupServices lookup{
        [](const std::string &path) { return OnDiskPath(path).has_value(); },
        [&] { return sys.string(); }};
    QStringList messages;
    DependencyLaunchServices services;
    services.programPath = [&] { return copy.string(); };
    services.showMessage = [&](QWidget *, QMessageBox::Icon icon, const QString &title,
                               const QString &text) {
        messages << QString::number(icon) + ' ' + title + ": " + text;
    };
    const QString nowhere = QString::number(QMessageBox::Critical) +
                            " Not Found: File not found in application folder or system folder!";
    const struct {
        std::string name;
        fs::path started;
        QString message;
    } cases[] = {
        {"my lib;rm -rf.dll", app / "my lib;rm -rf.dll", {}},
        {"KERNEL32.dll", sys / "kernel32.dll", {}},
        {"user32.dll", sys / "user32.dll", {}}, // the exact spelling first,
        {"User32.Dll", sys / "USER32.DLL", {}}, // then the first in byte order
        {"folder.dll", {}, nowhere},
        {"Error mapping file.", {}, nowhere},
        // Names from a file never lead outside the two folders.
        {"../sys/kernel32.dll", {}, nowhere},
        {(sys / "kernel32.dll").string(), {}, nowhere},
        {"sub/zlib1.dll", {}, nowhere},
        {"..", {}, nowhere},
        {std::string("kernel32.dll\0.exe", 17), {}, nowhere},
    };
    QWidget owner;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), &c.name, lookup, services);
        EXPECT_EQ(messages, c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        if (!c.started.empty()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(out); }, 20000));
            std::ifstream file(out, std::ios::binary);
            Names received;
            for (std::string line; std::getline(file, line);) {
                received.push_back(line);
            }
            EXPECT_EQ(received, (Names{"1", c.started.string()}));
            fs::remove(out);
        }
    }
    messages.clear();
    OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), nullptr, lookup, services);
    EXPECT_TRUE(messages.isEmpty()) << "no current item, nothing done";
}

} // namespace
} // namespace quorvane
