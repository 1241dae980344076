// The missing-dependency window and what the windows hand to the desktop, with recording
// stand-ins for the message boxes and the clipboard, and for the programs started (the desktop's
// opener, the further copy of this program): the missing names, the message when there are none,
// the web search, the copy, the browse button's file dialog (the real QFileDialog, typed into as a
// user would), and the dependency list's double-click, which starts a further copy of the program
// on the file it finds.
#include "support/ListItems.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/DependencyLaunch.h"
#include "ui/frmCheck.h"
#include "ui/modOpenFile.h"

#include <QtTest>
#include <QtWidgets>

#include <gtest/gtest.h>

#include <fstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Writes a stand-in program that writes down the count and the text of its arguments, whole (the
// record appears at once, by a rename), in a file of its own name plus ".out"; returns what reads
// the record once the stand-in has run, and removes it.
std::function<std::string()> Recorder(const fs::path &program)
{
    std::ofstream(program)
        << "#!/bin/sh\nprintf '%s|' $# \"$@\" >\"$0.p\"; /bin/mv \"$0.p\" \"$0.out\"";
    fs::permissions(program, fs::perms::owner_all);
    return [record = fs::path(program.string() + ".out")] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(record); }, 20000));
        std::string arguments; // one line: no name here holds a line break
        std::getline(std::ifstream(record, std::ios::binary), arguments);
        fs::remove(record);
        return arguments;
    };
}

// The search runs through the desktop's opener, here a stand-in that writes down its arguments.
TEST(CheckWindow, ListsTheNamesInNeitherFolderSearchesTheWebCopiesTheSelectionOrSaysAllFound)
{
    const test::TempDir dir;
    fs::create_directory(dir / "sys");
    dir.Write("Local.dll", "MZ"), dir.Write("sys/kernel32.dll", "MZ");
    const auto recorded = Recorder(dir / "xdg-open");
    const test::ScopedEnv path("PATH", dir.Path().string());
    Names shown; // what reached the clipboard and the message boxes
    frmCheckServices services;
    services.systemFolder = [&] { return (dir / "sys").string(); };
    services.setClipboardText = [&](auto &text) { shown.push_back(text.toStdString()); };
    services.showInformation = [&](QWidget *over, auto &text, auto &) {
        shown.push_back((over->isVisible() ? "over the window: " : "") + text.toStdString());
    };
    // Found in either folder in any case; the others in list order, twice if listed twice.
    const std::string tool = (dir / "tool.exe").string(),
                      odd = "b & c #2 \"q\" 'x' ; $(id) `id` | >" + std::string(5000, 'x');
    QWidget owner;
    frmCheck window(tool, {"Gone.dll", "kernel32.dll", "LOCAL.DLL", "Gone.dll", odd}, &owner,
                    services);
    window.Form_Load();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto *list = window.findChild<QAbstractItemView *>("lstCheck");
    EXPECT_EQ(ItemTexts(*list).first(2), QStringList(2, "Gone.dll")); // row 2 is the odd one
    const auto clicked = [&](int row, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualRect(list->model()->index(row, 0)).center());
        return recorded();
    };
    const std::string search = "1|" + std::string(kSearchAddress);
    EXPECT_EQ(clicked(2, {}), search + odd + '|') << "one argument, whatever it holds";
    EXPECT_EQ(clicked(1, Qt::ControlModifier), search + "Gone.dll|");
    QTest::mouseClick(window.findChild<QWidget *>("cmdCopy"), Qt::LeftButton);
    frmCheck::ShowModal(CheckDependencies(tool, {"kernel32.dll", "LOCAL.dll"}, services), &owner,
                        services);
    EXPECT_EQ(shown, (Names{"Gone.dll\r\n" + odd + "\r\n",
                            "over the window: All required DLL files found."}));
}

TEST(FileDialog, ReturnsTheNameAUserPicksAndCreatesNothing)
{
    const test::TempDir dir;
    // Qt's file dialog keeps its last folder in the user's settings: the test keeps its own.
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
    fs::create_symlink(dir.Write("My App.exe", "MZ"), dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    // The name typed, whether the user agrees to create it, and the prompts to create it.
    const std::tuple<QString, bool, int> cases[] = {
        {"link.dll", false, 0},     // the link as typed, not its target
        {"dangling.dll", false, 0}, // a link to nothing is still there
        {"new.exe", true, 1},       // chosen once the user agrees
        {"new.exe", false, 1},      // not chosen
    };
    for (const auto &[typed, agree, prompts] : cases) {
        SCOPED_TRACE(typed.toStdString());
        int asked = 0;
        OpenFileDialogServices services;
        services.confirmCreate = [&](QWidget *, const QString &) { return ++asked, agree; };
        services.run = [&](OpenFileDialog &dialog) {
            dialog.setDirectory(QString::fromStdString(dir.Path().string()));
            QTest::keyClicks(dialog.findChild<QLineEdit *>("fileNameEdit"), typed + '\r');
            return dialog.result();
        };
        EXPECT_EQ(ShowOpenFileDialog(nullptr, services).value_or(""),
                  agree || !prompts ? (dir / typed.toStdString()).string() : "");
        EXPECT_EQ(asked, prompts);
    }
    EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

TEST(DoubleClick, StartsANewCopyOnTheFileFoundAsSpeltOnDiskOrSaysItIsNowhere)
{
    // Windows-1252 letters, as files unpacked from a Windows archive carry them, and signs a
    // shell would take.
    const test::TempDir dir;
    const fs::path app = dir / "My \"Apps\" & 'Tools' $HOME caf\xe9", sys = dir / "sys";
    fs::create_directories(app), fs::create_directories(sys / "folder.dll");
    std::ofstream(app / "my lib;rm -rf.dll") << "MZ";
    dir.Write("sys/kernel32.dll", "MZ"), dir.Write("sys/USER32.DLL", "MZ");
    dir.Write("sys/user32.dll", "MZ");
    const auto recorded = Recorder(dir / "copy"); // the new copy's stand-in
    const DependencyLookupServices lookup{
        [](const std::string &path) { return OnDiskPath(path).has_value(); },
        [&] { return sys.string(); }};
    QString said;
    DependencyLaunchServices services;
    services.programPath = [&] { return (dir / "copy").string(); };
    services.showMessage = [&](auto *, auto, auto &, auto &text) { said = text; };
    // What a double-click does: the arguments the new copy received, or the message shown.
    const auto open = [&](const std::string *name) {
        said.clear();
        OpenDependencyInNewCopy(nullptr, (app / "main.exe").string(), name, lookup, services);
        return said.isEmpty() && name ? recorded() : said.toStdString();
    };
    const std::string nowhere = "File not found in application folder or system folder!";
    // The name double-clicked, and the file the new copy starts on (none: the message instead).
    const std::pair<std::string, fs::path> cases[] = {
        {"my lib;rm -rf.dll", app / "my lib;rm -rf.dll"},
        {"user32.dll", sys / "user32.dll"}, // the exact spelling first,
        {"User32.Dll", sys / "USER32.DLL"}, // then the first in byte order
        {"folder.dll", {}},
        // Names from a file never lead outside the two folders.
        {"../sys/kernel32.dll", {}},
        {(sys / "kernel32.dll").string(), {}},
    };
    for (const auto &[name, file] : cases) {
        EXPECT_EQ(open(&name), file.empty() ? nowhere : "1|" + file.string() + '|') << name;
    }
    EXPECT_EQ(open(nullptr), "") << "no current item, nothing done";
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
