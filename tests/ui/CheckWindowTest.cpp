// The missing-dependency window with recording stand-ins for the message box, the shell and the
// clipboard: what it lists, when it says that nothing is missing, the web search, the copy.
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

#include <filesystem>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class CheckWindow : public ::testing::Test {
protected:
    CheckWindow()
    {
        fs::create_directories(m_dir / "app");
        fs::create_directories(m_dir / "sys" / "folder.dll");
        for (const char *file : {"app/Local.dll", "app/.hidden.dll", "sys/kernel32.dll"}) {
            m_dir.Write(file, "MZ");
        }
        m_services.systemFolder = [this] { return (m_dir / "sys").string(); };
        m_services.openDocument = [this](const std::string &document, std::int32_t show,
                                         const std::string &, const std::string &,
                                         const std::string &operation, WindowHandle) {
            m_opened.push_back(document + ' ' + std::to_string(show) + ' ' + operation);
            return false; // a failed search is silent
        };
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
    Names m_opened, m_clipboard;
    QStringList m_messages;
};

TEST_F(CheckWindow, ListsTheNamesInNeitherFolderAndSaysWhenThereAreNoneThenCloses)
{
    const auto window = Loaded({"Gone.dll", "kernel32.dll", "LOCAL.DLL", ".hidden.dll",
                                "Folder.dll", "Gone.dll", "KERNEL32.DLL", "another one.dll"});
    EXPECT_EQ(window->findChild<QLabel *>("lblAppPath")->text().toStdString() + '|' +
                  window->findChild<QLabel *>("lblSysPath")->text().toStdString(),
              (m_dir / "app/|").string() + (m_dir / "sys/").string());
    EXPECT_EQ(ItemTexts(*m_list), (QStringList{"Gone.dll", ".hidden.dll", "Folder.dll", "Gone.dll",
                                               "another one.dll"}));
    window->Form_Activate(); // a reactivation with names missing says nothing

    bool stuck = false; // a window that does not close by itself is closed after a while
    QTimer::singleShot(10000, &m_owner,
                       [&] { stuck = QApplication::activeModalWidget()->close(); });
    for (const Names &names : {Names{}, Names{"kernel32.dll", "LOCAL.dll"}}) {
        frmCheck::ShowModal(CheckDependencies(m_path, names, m_services), &m_owner, m_services);
    }
    EXPECT_FALSE(stuck);
    EXPECT_EQ(m_messages, QStringList(2, "over the window: All required DLL files found."));
}

TEST_F(CheckWindow, AClickOrAKeyMoveSearchesTheWebAndCopySelectedCopiesTheSelectionWhole)
{
    const Names names = {"a.dll", "b & c #2 \"q\" $(id)" + std::string(5000, 'x') + ".dll",
                         "d.dll"};
    const auto window = Loaded(names);
    auto *copy = window->findChild<QPushButton *>("cmdCopy");
    ClickRow(2);
    ClickRow(1, Qt::ControlModifier);
    copy->click();
    QTest::keyClick(m_list, Qt::Key_Down);
    QTest::keyClick(m_list, Qt::Key_Down); // at the end already: no move, no search
    m_list->clearSelection();
    copy->click();
    frmCheck none(m_path, {"local.dll"}, &m_owner, m_services);
    none.Form_Load();
    none.findChild<QPushButton *>("cmdCopy")->click(); // no names: the clipboard keeps its own
    EXPECT_EQ(m_clipboard, (Names{"clear", names[1] + "\r\n" + names[2] + "\r\n", "clear", ""}));
    const std::string q = "https://www.google.com/search?hl=en&q=", how = " 10 open";
    EXPECT_EQ(m_opened, (Names{q + names[2] + how, q + names[1] + how, q + names[2] + how}));
}

} // namespace
} // namespace quorvane
