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
#include "ui/NameList.h"
#include "ui/frmCheck.h"
#include "ui/modOpenFile.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

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
    std::ostringstream arguments;
    arguments << std::ifstream(record, std::ios::binary).rdbuf();
    fs::remove(record);
    return arguments.str();
}

class CheckWindow : public ::testing::Test {
protected:
    CheckWindow()
    {
        fs::create_directories(m_dir / "app"), fs::create_directories(m_dir / "sys");
        m_dir.Write("app/Local.dll", "MZ"), m_dir.Write("sys/kernel32.dll", "MZ");
        m_services.systemFolder = [this] { return (m_dir / "sys").string(); };
        m_services.clearClipboard = [this] { m_clipboard.push_back("clear"); };
        m_services.setClipboardText = [this](const QString &t) {
            m_clipboard.push_back(t.toStdString());
        };
        m_services.showInformation = [this](QWidget *over, const QString &text, const QString &) {
            m_messages << (over->isVisible() ? "over the window: " : "") + text;
        };
    }
    // The window loaded with the check of names, shown and active.
    std::unique_ptr<frmCheck> Loaded(const Names &names)
    {
        auto window = std::make_unique<frmCheck>(m_path, names, &m_owner, m_services);
        window->Form_Load();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        m_list = window->findChild<NameListView *>("lstCheck");
        return window;
    }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, modifiers,
                          m_list->visualRect(m_list->model()->index(row, 0)).center());
    }

    test::TempDir m_dir;
    std::string m_path = (m_dir / "app" / "tool.exe").string();
    frmCheckServices m_services;
    QWidget m_owner;
    NameListView *m_list = nullptr;
    Names m_clipboard;
    QStringList m_messages;
};

TEST_F(CheckWindow, ListsTheNamesInNeitherFolderAndSaysWhenThereAreNoneThenCloses)
{
    // Found in either folder in any case; the others in list order, twice if listed twice.
    const auto window =
        Loaded({"Gone.dll", "kernel32.dll", "LOCAL.DLL", "Gone.dll", "an other.dll"});
    EXPECT_EQ(ItemTexts(*m_list), (QStringList{"Gone.dll", "Gone.dll", "an other.dll"}));
    const Names found = {"kernel32.dll", "LOCAL.dll"};
    frmCheck::ShowModal(CheckDependencies(m_path, found, m_services), &m_owner, m_services);
    EXPECT_EQ(m_messages, QStringList{"over the window: All required DLL files found."});
}

// The search runs through the desktop's opener, here a stand-in that writes down its arguments.
TEST_F(CheckWindow, AClickSearchesTheWebAndCopySelectedCopiesTheSelectionWhole)
{
    const fs::path record = Recorder(m_dir / "xdg-open");
    const test::ScopedEnv path("PATH", m_dir.Path().string());
    const Names names = {"a.dll", "b & c #2 \"q\" 'x' ; $(id) `id` | >" + std::string(5000, 'x'),
                         "d.dll"};
    const std::string searched = "1|" + std::string(kSearchAddress);
    const auto window = Loaded(names);
    ClickRow(2);
    EXPECT_EQ(Recorded(record), searched + names[2] + '|');
    ClickRow(1, Qt::ControlModifier);
    EXPECT_EQ(Recorded(record), searched + names[1] + '|') << "one argument, whatever it holds";
    window->findChild<QPushButton *>("cmdCopy")->click();
    EXPECT_EQ(m_clipboard, (Names{"clear", names[1] + "\r\n" + names[2] + "\r\n"}));
}

TEST(FileDialog, ReturnsTheNameAUserPicksAndCreatesNothing)
{
    const test::TempDir dir;
    // Qt's file dialog keeps its last folder in the user's settings: the test keeps its own.
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
    fs::create_symlink(dir.Write("My App.exe", "MZ"), dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    const struct {
        QString typed;
        bool agree; // to the create prompt
        int prompts;
    } cases[] = {
        {"My App.exe", false, 0},   // chosen as typed
        {"link.dll", false, 0},     // the link, not its target
        {"dangling.dll", false, 0}, // a link to nothing is still there
        {"new.exe", true, 1},       // chosen once the user agrees
        {"new.exe", false, 1},      // not chosen
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        int prompts = 0;
        OpenFileDialogServices services;
        services.confirmCreate = [&](QWidget *, const QString &) { return ++prompts, c.agree; };
        services.run = [&](OpenFileDialog &dialog) {
            dialog.setDirectory(QString::fromStdString(dir.Path().string()));
            QTest::keyClicks(dialog.findChild<QLineEdit *>("fileNameEdit"), c.typed + '\r');
            return dialog.result();
        };
        EXPECT_EQ(ShowOpenFileDialog(nullptr, services).value_or(""),
                  c.agree || !c.prompts ? (dir / c.typed.toStdString()).string() : "");
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
    fs::create_directories(app);
    fs::create_directories(sys / "folder.dll");
    for (const fs::path &file : {app / "my lib;rm -rf.dll", sys / "kernel32.dll",
                                 sys / "USER32.DLL", sys / "user32.dll"}) {
        std::ofstream(file) << "MZ";
    }
    const fs::path copy = dir / "copy", record = Recorder(copy); // the new copy's stand-in
    const DependencyLookupServices lookup{
        [](const std::string &path) { return OnDiskPath(path).has_value(); },
        [&] { return sys.string(); }};
    QString said;
    DependencyLaunchServices services;
    services.programPath = [&] { return copy.string(); };
    services.showMessage = [&](auto *, auto, auto &, auto &text) { said = text; };
    // What a double-click does: the arguments the new copy received, or the message shown.
    QWidget owner;
    const auto open = [&](const std::string *name) {
        said.clear();
        OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), name, lookup, services);
        return said.isEmpty() && name ? Recorded(record) : said.toStdString();
    };
    const std::string nowhere = "File not found in application folder or system folder!";
    const auto started = [](const fs::path &file) { return "1|" + file.string() + '|'; };
    const std::pair<std::string, std::string> cases[] = {
        {"my lib;rm -rf.dll", started(app / "my lib;rm -rf.dll")},
        {"user32.dll", started(sys / "user32.dll")}, // the exact spelling first,
        {"User32.Dll", started(sys / "USER32.DLL")}, // then the first in byte order
        {"folder.dll", nowhere},
        // Names from a file never lead outside the two folders.
        {"../sys/kernel32.dll", nowhere},
        {(sys / "kernel32.dll").string(), nowhere},
    };
    for (const auto &[name, outcome] : cases) {
        EXPECT_EQ(open(&name), outcome) << name;
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
