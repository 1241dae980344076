// The missing-dependency window, driven offscreen with recording stand-ins for the message box, the
// shell and the clipboard.
#include "ui/frmCheck.h"
#include "core/check/MissingCheck.h"
#include "support/ListItems.h"
#include "support/TempDir.h"
#include "ui/NameList.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

struct Message {
    QString text;
    QString title;
    bool windowVisible;
};

struct OpenCall {
    std::string document;
    std::int32_t show;
    std::string parameters;
    std::string directory;
    std::string operation;
};

// What the window asked of the platform, in order.
struct Recorder {
    std::vector<Message> messages;
    std::vector<OpenCall> opens;
    std::vector<std::string> clipboard; // "clear", or "set:" followed by the text

    CheckServices Services(const std::string &systemFolder)
    {
        CheckServices services;
        services.systemFolder = [systemFolder] { return systemFolder; };
        services.openDocument = [this](const std::string &document, std::int32_t show,
                                       const std::string &parameters, const std::string &directory,
                                       const std::string &operation, WindowHandle) {
            opens.push_back({document, show, parameters, directory, operation});
            return false; // a failed search is silent
        };
        services.clearClipboard = [this] { clipboard.push_back("clear"); };
        services.setClipboardText = [this](const QString &text) {
            clipboard.push_back("set:" + text.toStdString());
        };
        services.showInformation = [this](QWidget *parent, const QString &text,
                                          const QString &title) {
            messages.push_back({text, title, parent && parent->isVisible()});
        };
        return services;
    }
};

template <typename T> T *Control(QWidget &window, const char *name)
{
    T *control = window.findChild<T *>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
}

QStringList Items(QWidget &window)
{
    return ItemTexts(*window.findChild<NameListView *>("lstCheck"));
}

QPoint RowCentre(NameListView *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

void Touch(const fs::path &path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path).put('x');
}

class FrmCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        Touch(dir / "app" / "tool.exe");
        Touch(dir / "app" / "Local.dll");
        Touch(dir / "app" / ".hidden.dll");
        Touch(dir / "sys" / "kernel32.dll");
        fs::create_directories(dir / "sys" / "folder.dll");
        path = (dir / "app" / "tool.exe").string();
        sys = (dir / "sys").string();
        owner.setGeometry(200, 150, 341, 381);
        owner.show();
    }
    // Shows the window and waits until it is active and its activation has been handled.
    static bool ShowActive(frmCheck &window)
    {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            return false;
        }
        QTest::qWait(20);
        return true;
    }
    test::TempDir dir;
    std::string path;
    std::string sys;
    QWidget owner;
    Recorder recorder;
};

TEST_F(FrmCheck, LayoutFollowsTheTwipTable)
{
    frmCheck window(path, {}, &owner, recorder.Services(sys));
    EXPECT_EQ(window.objectName(), "frmCheck");
    EXPECT_EQ(window.windowTitle(), "Missing Dependencies");
    EXPECT_EQ(window.size(), QSize(306, 355));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(window.windowIcon().isNull());

    const struct {
        const char *name;
        const char *parent;
        QRect geometry;
        const char *caption;
    } controls[] = {
        {"fraCheck", "frmCheck", {0, 0, 305, 113}, "Dependency Check"},
        {"lblCheck",
         "fraCheck",
         {8, 16, 289, 33},
         "The following dependencies were not found in the application folder or in the system:"},
        {"lblApp1", "fraCheck", {8, 56, 49, 17}, "App Path:"},
        {"lblAppPath", "fraCheck", {64, 56, 233, 25}, ""},
        {"lblSys1", "fraCheck", {8, 88, 49, 17}, "Sys Path:"},
        {"lblSysPath", "fraCheck", {64, 88, 233, 17}, ""},
        {"frmMissing", "frmCheck", {0, 112, 305, 201}, "Missing Dependencies"},
        {"lstCheck", "frmMissing", {8, 16, 289, 173}, nullptr},
        {"cmdCopy", "frmCheck", {0, 320, 137, 33}, "&Copy Selected"},
        {"cmdExit", "frmCheck", {168, 320, 137, 33}, "Close"},
    };
    for (const auto &c : controls) {
        SCOPED_TRACE(c.name);
        QWidget *control = Control<QWidget>(window, c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(control->geometry(), c.geometry);
        if (auto *label = qobject_cast<QLabel *>(control)) {
            EXPECT_EQ(label->text(), c.caption);
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            EXPECT_EQ(frame->title(), c.caption);
        } else if (auto *button = qobject_cast<QPushButton *>(control)) {
            EXPECT_EQ(button->text(), c.caption);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
        }
    }
    auto *list = Control<NameListView>(window, "lstCheck");
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(FrmCheck, CaptionsFitInTheDialogFont)
{
    frmCheck window(path, {}, &owner, recorder.Services(sys));
    EXPECT_EQ(window.font().pixelSize(), 11); // 8.25 points at 96 dots per inch
    const QString family = QFontInfo(window.font()).family();
    if (!QStringList{"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial"}.contains(
            family)) {
        GTEST_SKIP() << "none of the dialog's faces is installed (fonts-liberation has one)";
    }
    for (const char *name : {"lblCheck", "lblApp1", "lblSys1"}) {
        SCOPED_TRACE(name);
        auto *label = Control<QLabel>(window, name);
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(QRect(0, 0, label->width(), 1000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
    }
    for (const char *name : {"cmdCopy", "cmdExit"}) {
        auto *button = Control<QPushButton>(window, name);
        EXPECT_LT(button->sizeHint().width(), button->width()) << name;
        EXPECT_LE(button->sizeHint().height(), button->height() + 2) << name;
    }
    for (const char *name : {"fraCheck", "frmMissing"}) {
        auto *frame = Control<QGroupBox>(window, name);
        EXPECT_LT(QFontMetrics(frame->font()).horizontalAdvance(frame->title()) + 16,
                  frame->width());
    }
}

TEST_F(FrmCheck, LoadListsTheNamesInNeitherFolderInListOrder)
{
    const std::vector<std::string> dependencies = {"Gone.dll",     "kernel32.dll",   "LOCAL.DLL",
                                                   ".hidden.dll",  "Folder.dll",     "Gone.dll",
                                                   "KERNEL32.DLL", "another one.dll"};
    frmCheck window(path, dependencies, &owner, recorder.Services(sys));
    window.Form_Load();
    EXPECT_EQ(Control<QLabel>(window, "lblAppPath")->text(),
              QString::fromStdString((dir / "app").string() + "/"));
    EXPECT_EQ(Control<QLabel>(window, "lblSysPath")->text(), QString::fromStdString(sys + "/"));
    EXPECT_EQ(Items(window), (QStringList{"Gone.dll", ".hidden.dll", "Folder.dll", "Gone.dll",
                                          "another one.dll"}));
    EXPECT_EQ(window.MissingCount(), 5);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FrmCheck, TheSearchUsesThePrefixesTheLabelsShow)
{
    std::vector<std::string> prefixes;
    CheckServices services = recorder.Services("");
    services.isPresent = [&](const std::string &prefix, const std::string &name) {
        prefixes.push_back(prefix);
        if (name == "broken.dll") {
            throw std::runtime_error("the search failed");
        }
        return true;
    };
    // A bare file name has no application folder; an empty system folder leaves the lone "/".
    frmCheck window("tool.exe", {"a.dll", "broken.dll"}, &owner, services);
    window.Form_Load();
    EXPECT_EQ(Control<QLabel>(window, "lblAppPath")->text(), "");
    EXPECT_EQ(Control<QLabel>(window, "lblSysPath")->text(), "/");
    EXPECT_EQ(prefixes, (std::vector<std::string>{"", "/", ""})); // broken.dll fails at once
    EXPECT_EQ(Items(window), QStringList{"broken.dll"}); // a failed search counts as missing
    EXPECT_EQ(window.MissingCount(), 1);
}

TEST_F(FrmCheck, NothingMissingIsReportedOverTheWindowAndShowModalReturnsByItself)
{
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        stuck = true;
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    guard.start(5000);
    frmCheck::ShowModal(CheckDependencies(path, {}, recorder.Services(sys)), &owner,
                        recorder.Services(sys));
    frmCheck::ShowModal(
        CheckDependencies(path, {"kernel32.dll", "LOCAL.dll"}, recorder.Services(sys)), &owner,
        recorder.Services(sys));
    EXPECT_FALSE(stuck);
    ASSERT_EQ(recorder.messages.size(), 2u);
    for (const Message &message : recorder.messages) {
        EXPECT_EQ(message.text, "All required DLL files found.");
        EXPECT_EQ(message.title, "No Missing DLLs");
        EXPECT_TRUE(message.windowVisible);
    }
}

TEST_F(FrmCheck, TheRealMessageBoxCarriesTheInformationIconAndItsOkEndsTheCheck)
{
    // Driven by a timer that answers the box as a user would; a guard ends a stuck run.
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int boxes = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        ++boxes;
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    driver.start(20);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        while (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    guard.start(5000);
    CheckServices services = recorder.Services(sys);
    services.showInformation = nullptr;
    frmCheck::ShowModal(CheckDependencies(path, {"kernel32.dll"}, services), &owner, services);
    EXPECT_TRUE(guard.isActive());
    EXPECT_EQ(boxes, 1); // the box hands the activation back, and the message still comes once
    EXPECT_EQ(text, "All required DLL files found.");
    EXPECT_EQ(title, "No Missing DLLs");
    EXPECT_EQ(icon, QMessageBox::Information);
}

TEST_F(FrmCheck, WithNamesMissingNoMessageEvenOnReactivation)
{
    frmCheck window(path, {"gone.dll"}, &owner, recorder.Services(sys));
    window.Form_Load();
    ASSERT_TRUE(ShowActive(window));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::qWait(20);
    window.Form_Activate();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(FrmCheck, FocusStartsOnCloseAndNoKeyClosesWithoutAButton)
{
    frmCheck window(path, {"a.dll", "b.dll"}, &owner, recorder.Services(sys));
    window.Form_Load();
    ASSERT_TRUE(ShowActive(window));
    auto *close = Control<QPushButton>(window, "cmdExit");
    auto *copy = Control<QPushButton>(window, "cmdCopy");
    auto *list = Control<NameListView>(window, "lstCheck");
    EXPECT_EQ(QApplication::focusWidget(), close);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), copy);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_TRUE(recorder.opens.empty()); // taking the focus is no click
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), close);

    QTest::keyClick(close, Qt::Key_Escape);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(recorder.clipboard.empty());
    copy->setFocus();
    QTest::keyClick(copy, Qt::Key_Return);
    EXPECT_EQ(recorder.clipboard.size(), 2u);
    close->setFocus();
    QTest::keyClick(close, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(FrmCheck, ShowModalCentresOnTheOwnerAndEachOpeningChecksAfresh)
{
    QStringList seen;
    QPoint centre;
    int closedBy = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *window = qobject_cast<frmCheck *>(QApplication::activeModalWidget());
        if (!window || !window->isVisible()) {
            return;
        }
        seen << Items(*window).join(",");
        centre = window->geometry().center();
        // The first opening is closed with "Close", the second from its title bar.
        if (closedBy++ == 0) {
            Control<QPushButton>(*window, "cmdExit")->click();
        } else {
            window->close();
        }
    });
    driver.start(20);
    for (const std::vector<std::string> &names :
         {std::vector<std::string>{"one.dll", "local.dll"}, {"two.dll", "three.dll"}}) {
        frmCheck::ShowModal(CheckDependencies(path, names, recorder.Services(sys)), &owner,
                            recorder.Services(sys));
    }
    EXPECT_EQ(seen, (QStringList{"one.dll", "two.dll,three.dll"}));
    EXPECT_LE((centre - owner.geometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(FrmCheck, AClickOrAKeyboardMoveSearchesTheWebForThatName)
{
    // The search takes a name whole, however little of it the list draws.
    const std::vector<std::string> names = {
        "first.dll", "my lib & co #2 \"q\" 'x' $(id)" + std::string(5000, 'x') + ".dll",
        "third.dll"};
    frmCheck window(path, names, &owner, recorder.Services(sys));
    window.Form_Load();
    ASSERT_TRUE(ShowActive(window));
    auto *list = Control<NameListView>(window, "lstCheck");
    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, RowCentre(list, row));
    };
    click(1);
    click(0, Qt::ControlModifier);
    click(0, Qt::ControlModifier); // removing a name from the selection searches too
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down); // already at the end: no move, no search
    const std::string address(kSearchAddress);
    ASSERT_EQ(recorder.opens.size(), 5u);
    const std::string expected[] = {names[1], "first.dll", "first.dll", names[1], "third.dll"};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.opens[i].document,
                  "https://www.google.com/search?hl=en&q=" + expected[i]);
        EXPECT_EQ(recorder.opens[i].show, 10);
        EXPECT_EQ(recorder.opens[i].parameters, "");
        EXPECT_EQ(recorder.opens[i].directory, "");
        EXPECT_EQ(recorder.opens[i].operation, "open");
    }
    EXPECT_TRUE(window.isVisible()); // a failed search changes nothing
}

TEST_F(FrmCheck, TheSearchReachesTheDesktopOpenerAsOneArgument)
{
    const fs::path bin = dir / "bin";
    const fs::path record = dir / "arguments";
    fs::create_directories(bin);
    {
        std::ofstream script(bin / "xdg-open");
        // The argument file appears whole, once the count is written.
        script << "#!/bin/sh\necho $# > '" << record.string() << ".count'\nprintf '%s' \"$1\" > '"
               << record.string() << ".part'\n/bin/mv '" << record.string() << ".part' '"
               << record.string() << "'\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);

    const QString name = "my lib & co #2 \"q\" 'x' ; $(touch pwned) `id` | >out.dll";
    CheckServices services = recorder.Services(sys);
    services.openDocument = nullptr; // the real ShellOpenDocument
    frmCheck window(path, {name.toStdString()}, &owner, services);
    window.Form_Load();
    ASSERT_TRUE(ShowActive(window));
    auto *list = Control<NameListView>(window, "lstCheck");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 0));
    ::setenv("PATH", oldPath.c_str(), 1);

    // The opener is left to run on its own: its record comes when it comes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(record); }, 20000));
    std::ifstream count(record.string() + ".count");
    std::string argc;
    std::getline(count, argc);
    EXPECT_EQ(argc, "1");
    std::ifstream recorded(record);
    std::ostringstream argument;
    argument << recorded.rdbuf();
    EXPECT_EQ(argument.str(), std::string(kSearchAddress) + name.toStdString());
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST(WebSearch, ANameFromTheFileNeverBecomesTheAddressesHostOrPath)
{
    for (const std::string name :
         {"@evil.example/x.dll", "//evil.example/x.dll", "http://evil.example/x.dll",
          "\\\\host\\share\\x.dll", "..\\..\\x.dll", "x.dll\r\nHost: evil.example",
          "x.dll#@evil.example"}) {
        const QUrl url(QString::fromStdString(WebSearchAddress(name)));
        EXPECT_EQ(url.scheme(), "https") << name;
        EXPECT_EQ(url.host(), "www.google.com") << name;
        EXPECT_EQ(url.path(), "/search") << name;
    }
}

TEST_F(FrmCheck, CopyPutsTheSelectedNamesEachFollowedByCrLf)
{
    const std::string longName = std::string(5000, 'b') + ".dll"; // copied whole
    frmCheck window(path, {"a.dll", longName, "c.dll"}, &owner, recorder.Services(sys));
    window.Form_Load();
    auto *list = Control<NameListView>(window, "lstCheck");
    auto *copy = Control<QPushButton>(window, "cmdCopy");
    for (const int row : {2, 1}) {
        list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);
    }
    copy->click();
    EXPECT_EQ(recorder.clipboard,
              (std::vector<std::string>{"clear", "set:" + longName + "\r\nc.dll\r\n"}));

    recorder.clipboard.clear();
    list->clearSelection();
    copy->click();
    EXPECT_EQ(recorder.clipboard, (std::vector<std::string>{"clear", "set:"}));

    recorder.clipboard.clear();
    frmCheck empty(path, {"local.dll"}, &owner, recorder.Services(sys));
    empty.Form_Load();
    Control<QPushButton>(empty, "cmdCopy")->click();
    EXPECT_TRUE(recorder.clipboard.empty()); // no names: the clipboard keeps what it holds
}

TEST_F(FrmCheck, CopyReachesTheRealClipboardAsPlainText)
{
    CheckServices services = recorder.Services(sys);
    services.clearClipboard = nullptr;
    services.setClipboardText = nullptr;
    frmCheck window(path, {"a.dll", "b.dll"}, &owner, services);
    window.Form_Load();
    QApplication::clipboard()->setText("before");
    auto *list = Control<NameListView>(window, "lstCheck");
    list->selectAll();
    Control<QPushButton>(window, "cmdCopy")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "a.dll\r\nb.dll\r\n");
}

} // namespace
} // namespace quorvane

int main(int argc, char **argv)
{
    // Window tests never need a display.
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
