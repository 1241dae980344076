// The missing-dependency window with recording stand-ins for the message box, the shell and the
// clipboard: what it lists, when it reports that nothing is missing, the web search, the copy.
#include "ui/NameList.h"
#include "ui/frmCheck.h"

#include "support/ListItems.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

class CheckWindow : public ::testing::Test {
protected:
    CheckWindow()
    {
        for (const char *file :
             {"app/tool.exe", "app/Local.dll", "app/.hidden.dll", "sys/kernel32.dll"}) {
            fs::create_directories((m_dir / file).parent_path());
            std::ofstream(m_dir / file) << "MZ";
        }
        fs::create_directories(m_dir / "sys" / "folder.dll");
        m_owner.setGeometry(200, 150, 341, 381);
        m_owner.show();
    }
    frmCheckServices Services()
    {
        frmCheckServices s;
        s.systemFolder = [this] { return m_sys; };
        s.openDocument = [this](const std::string &document, std::int32_t show,
                                const std::string &parameters, const std::string &directory,
                                const std::string &operation, WindowHandle) {
            m_opened.push_back(document);
            EXPECT_EQ(show, 10);
            EXPECT_EQ(parameters + directory + '|' + operation, "|open");
            return false; // a failed search is silent
        };
        s.clearClipboard = [this] { m_clipboard.push_back("clear"); };
        s.setClipboardText = [this](const QString &t) { m_clipboard.push_back(t.toStdString()); };
        s.showInformation = [this](QWidget *parent, const QString &text, const QString &title) {
            EXPECT_TRUE(parent && parent->isVisible()) << "the message is over the window";
            m_messages.push_back(title + ": " + text);
        };
        return s;
    }
    // The window loaded with the check of names, shown and active.
    std::unique_ptr<frmCheck> Loaded(const std::vector<std::string> &names,
                                     frmCheckServices services = {})
    {
        auto window = std::make_unique<frmCheck>(m_path, names, &m_owner,
                                                 services.systemFolder ? services : Services());
        window->Form_Load();
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::qWait(20);
        return window;
    }
    static NameListView &List(frmCheck &window)
    {
        return *window.findChild<NameListView *>("lstCheck");
    }
    static void ClickRow(frmCheck &window, int row, Qt::KeyboardModifiers modifiers = {})
    {
        NameListView &list = List(window);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers,
                          list.visualRect(list.model()->index(row, 0)).center());
    }

    test::TempDir m_dir;
    std::string m_path = (m_dir / "app" / "tool.exe").string();
    std::string m_sys = (m_dir / "sys").string();
    QWidget m_owner;
    std::vector<std::string> m_opened, m_clipboard;
    QStringList m_messages;
};

TEST_F(CheckWindow, ListsTheNamesInNeitherFolderInListOrderUnderThePrefixesSearched)
{
    const auto window = Loaded({"Gone.dll", "kernel32.dll", "LOCAL.DLL", ".hidden.dll",
                                "Folder.dll", "Gone.dll", "KERNEL32.DLL", "another one.dll"});
    EXPECT_EQ(window->findChild<QLabel *>("lblAppPath")->text().toStdString(),
              (m_dir / "app").string() + "/");
    EXPECT_EQ(window->findChild<QLabel *>("lblSysPath")->text().toStdString(), m_sys + "/");
    EXPECT_EQ(ItemTexts(List(*window)), (QStringList{"Gone.dll", ".hidden.dll", "Folder.dll",
                                                     "Gone.dll", "another one.dll"}));
    EXPECT_EQ(window->MissingCount(), 5);
    window->Form_Activate(); // reactivation with names missing says nothing
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(CheckWindow, ShowModalReportsNothingMissingOnceAndOtherwiseShowsTheNamesCentred)
{
    QStringList seen;
    QPoint centre;
    QTimer user; // looks at an open window and closes it
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto *window = qobject_cast<frmCheck *>(QApplication::activeModalWidget());
        if (window && window->isVisible() && window->MissingCount() > 0) {
            seen << ItemTexts(List(*window)).join(",");
            centre = window->geometry().center();
            window->findChild<QPushButton *>("cmdExit")->click();
        }
    });
    user.start(20);
    QTimer guard; // ends a stuck run
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        while (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    guard.start(10000);
    for (const std::vector<std::string> &names : std::vector<std::vector<std::string>>{
             {}, {"kernel32.dll", "LOCAL.dll"}, {"two.dll", "local.dll", "three.dll"}}) {
        frmCheck::ShowModal(CheckDependencies(m_path, names, Services()), &m_owner, Services());
    }
    EXPECT_TRUE(guard.isActive()) << "each nothing-missing window closed by itself";
    EXPECT_EQ(m_messages, QStringList(2, "No Missing DLLs: All required DLL files found."));
    EXPECT_EQ(seen, QStringList{"two.dll,three.dll"});
    EXPECT_LE((centre - m_owner.geometry().center()).manhattanLength(), 2);
}

TEST_F(CheckWindow, AClickOrAKeyboardMoveSearchesTheWebForThatWholeName)
{
    const std::vector<std::string> names = {
        "first.dll", "my lib & co #2 \"q\" 'x' $(id)" + std::string(5000, 'x') + ".dll",
        "third.dll"};
    const auto window = Loaded(names);
    ClickRow(*window, 1);
    ClickRow(*window, 0, Qt::ControlModifier);
    ClickRow(*window, 0, Qt::ControlModifier); // removing a name from the selection searches too
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(&List(*window), Qt::Key_Down); // the third is past the end: no search
    }
    std::vector<std::string> expected;
    for (const std::string *name : {&names[1], &names[0], &names[0], &names[1], &names[2]}) {
        expected.push_back("https://www.google.com/search?hl=en&q=" + *name);
    }
    EXPECT_EQ(m_opened, expected);
    EXPECT_TRUE(window->isVisible()); // a failed search changes nothing
}

TEST_F(CheckWindow, TheSearchReachesTheDesktopOpenerAsOneArgument)
{
    const fs::path record = m_dir / "arguments";
    fs::create_directories(m_dir / "bin");
    // The record appears whole, after the argument count.
    std::ofstream(m_dir / "bin" / "xdg-open")
        << "#!/bin/sh\necho $# > '" << record.string() << ".count'\nprintf '%s' \"$1\" > '"
        << record.string() << ".part'\n/bin/mv '" << record.string() << ".part' '"
        << record.string() << "'\n";
    fs::permissions(m_dir / "bin" / "xdg-open", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (m_dir / "bin").c_str(), 1);

    const std::string name = "my lib & co #2 \"q\" 'x' ; $(touch pwned) `id` | >out.dll";
    frmCheckServices services = Services();
    services.openDocument = nullptr; // the real opener
    const auto window = Loaded({name}, services);
    ClickRow(*window, 0);
    ::setenv("PATH", oldPath.c_str(), 1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(record); }, 20000));
    std::ostringstream count, argument;
    count << std::ifstream(record.string() + ".count").rdbuf();
    argument << std::ifstream(record).rdbuf();
    EXPECT_EQ(count.str(), "1\n");
    EXPECT_EQ(argument.str(), std::string(kSearchAddress) + name);
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(CheckWindow, CopySelectedPutsTheSelectedNamesWholeEachFollowedByCrLf)
{
    const std::string longName = std::string(5000, 'b') + ".dll";
    const auto window = Loaded({"a.dll", longName, "c.dll"});
    auto *copy = window->findChild<QPushButton *>("cmdCopy");
    ClickRow(*window, 2);
    ClickRow(*window, 1, Qt::ControlModifier);
    copy->click();
    List(*window).clearSelection();
    copy->click();
    EXPECT_EQ(m_clipboard,
              (std::vector<std::string>{"clear", longName + "\r\nc.dll\r\n", "clear", ""}));

    m_clipboard.clear();
    const auto none = Loaded({"local.dll"});
    none->findChild<QPushButton *>("cmdCopy")->click();
    EXPECT_TRUE(m_clipboard.empty()) << "no names: the clipboard keeps what it holds";
}

} // namespace
} // namespace quorvane
