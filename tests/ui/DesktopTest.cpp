// What the windows hand to the desktop: the browse button's file dialog (the real QFileDialog,
// typed into as a user would), the web search of a missing name, which reaches the desktop's
// opener, and the dependency list's double-click, which starts a further copy of the program on
// the file it finds.
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/DependencyLaunch.h"
#include "ui/NameList.h"
#include "ui/frmCheck.h"
#include "ui/modOpenFile.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Writes a stand-in program that writes down the count and the text of its arguments, whole (the
// record appears at once, by a rename), in a file of its own name plus ".out".
fs::path Recorder(const fs::path &program)
{
    std::ofstream(program) << "#!/bin/sh\nprintf '%s|' $# \"$@\" >\"$0.part\"; "
                              "/bin/mv \"$0.part\" \"$0.out\"\n";
    fs::permissions(program, fs::perms::owner_all);
    return program.string() + ".out";
}

// What the stand-in wrote down, once it has run; the record is gone afterwards.
std::string Recorded(const fs::path &record)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(record); }, 20000));
    const std::string arguments = test::detail::Slurp(record.string());
    fs::remove(record);
    return arguments;
}

TEST(FileDialog, ReturnsTheNameAUserPicksAndCreatesNothing)
{
    const test::TempDir dir;
    // Qt's file dialog keeps its last folder in the user's settings: the test keeps its own.
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
    fs::create_symlink(dir.Write("My App.exe", "MZ"), dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    fs::create_directory(dir / "sub");
    const struct {
        QString typed; // empty: cancel
        bool agree;    // to the create prompt
        bool chosen;
        int prompts;
    } cases[] = {
        {"My App.exe", false, true, 0},
        {"link.dll", false, true, 0}, // the link, not its target
        {"dangling.dll", false, true, 0},
        {"new.exe", true, true, 1},
        {"new.exe", false, false, 1},
        {"sub", true, false, 0}, // a folder opens, not chosen
        {"", true, false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        int prompts = 0;
        OpenFileDialogServices services;
        services.confirmCreate = [&](QWidget *, const QString &) { return ++prompts, c.agree; };
        services.run = [&](OpenFileDialog &dialog) {
            dialog.setDirectory(QString::fromStdString(dir.Path().string()));
            if (!c.typed.isEmpty()) {
                dialog.findChild<QLineEdit *>("fileNameEdit")->setText(c.typed);
                auto *buttons = dialog.findChild<QDialogButtonBox *>("buttonBox");
                buttons->button(QDialogButtonBox::Open)->click();
            }
            return dialog.result();
        };
        EXPECT_EQ(ShowOpenFileDialog(nullptr, services).value_or(""),
                  c.chosen ? (dir / c.typed.toStdString()).string() : "");
        EXPECT_EQ(prompts, c.prompts);
    }
    EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

TEST(WebSearch, AClickOnAMissingNameHandsTheOpenerItsAddressAsOneArgument)
{
    const test::TempDir dir;
    const fs::path record = Recorder(dir / "xdg-open");
    const test::ScopedEnv path("PATH", dir.Path().string()); // the opener found first
    const std::string name = "my lib & co #2 \"q\" 'x' ; $(touch pwned) `id` | >out.dll";
    frmCheck window(MissingDependencies{"/app/", "/sys/", {name}}, nullptr); // the real shell
    window.Form_Load();
    auto *list = window.findChild<NameListView *>("lstCheck");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_EQ(Recorded(record), "1|" + std::string(kSearchAddress) + name + '|');
}

TEST(DoubleClick, StartsANewCopyOnTheFileFoundAsSpeltOnDiskOrSaysItIsNowhere)
{
    // Windows-1252 letters, as files unpacked from a Windows archive carry them, and signs a
    // shell would take.
    const test::TempDir dir;
    const fs::path app = dir / "My \"Apps\" & 'Tools' $HOME caf\xe9", sys = dir / "sys";
    fs::create_directories(app / "sub");
    fs::create_directories(sys / "folder.dll");
    for (const fs::path &file : {app / "my lib;rm -rf.dll", app / "sub" / "zlib1.dll",
                                 sys / "kernel32.dll", sys / "USER32.DLL", sys / "user32.dll"}) {
        std::ofstream(file) << "MZ";
    }
    const fs::path copy = dir / "copy", record = Recorder(copy); // the new copy's stand-in
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
    const std::pair<std::string, fs::path> cases[] = {
        {"my lib;rm -rf.dll", app / "my lib;rm -rf.dll"},
        {"KERNEL32.dll", sys / "kernel32.dll"},
        {"user32.dll", sys / "user32.dll"}, // the exact spelling first,
        {"User32.Dll", sys / "USER32.DLL"}, // then the first in byte order
        {"folder.dll", {}},                 // an empty path: not found
        {"Error mapping file.", {}},
        // Names from a file never lead outside the two folders.
        {"../sys/kernel32.dll", {}},
        {(sys / "kernel32.dll").string(), {}},
        {"sub/zlib1.dll", {}},
        {std::string("kernel32.dll\0.exe", 17), {}},
    };
    QWidget owner;
    for (const auto &[name, started] : cases) {
        SCOPED_TRACE(name);
        messages.clear();
        OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), &name, lookup, services);
        EXPECT_EQ(messages, started.empty() ? QStringList{nowhere} : QStringList{});
        if (!started.empty()) {
            EXPECT_EQ(Recorded(record), "1|" + started.string() + '|');
        }
    }
    messages.clear();
    OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), nullptr, lookup, services);
    EXPECT_TRUE(messages.isEmpty()) << "no current item, nothing done";
}

TEST(Startup, QtOptionsOnTheCommandLineAreAPathNotSwitches)
{
    // Qt would end the program at once on a platform it cannot load; as a path, the words are
    // only a file that cannot be read, and the window stays up.
    QProcess program;
    program.start(QStringLiteral(QUORVANE_PROGRAM), {"-platform", "none-such"});
    ASSERT_TRUE(program.waitForStarted());
    EXPECT_FALSE(program.waitForFinished(1500)) << program.readAllStandardError().toStdString();
}

} // namespace
} // namespace quorvane
