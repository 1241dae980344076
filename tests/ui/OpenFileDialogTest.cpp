// The browse button's file dialog, answered through its seam but always the real QFileDialog:
// the tests type into its name box and press its Open button as a user would.
#include "support/TempDir.h"
#include "ui/modOpenFile.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

/// Qt's file dialog keeps its last folder and view in the user's settings: the tests keep theirs
/// in a folder of their own.
class PrivateSettings : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_folder = std::make_unique<TempDir>();
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_folder->Path().string()));
    }
    void TearDown() override { m_folder.reset(); }

private:
    std::unique_ptr<TempDir> m_folder;
};
[[maybe_unused]] ::testing::Environment *const kPrivateSettings =
    ::testing::AddGlobalTestEnvironment(new PrivateSettings);

QString Q(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

/// What a user sees of the dialog's set-up.
struct DialogLook {
    QString title;
    QStringList nameFilters;
    QString typeBox; // what the file-type box reads
    QFileDialog::Options options;
    QFileDialog::FileMode fileMode;
    QFileDialog::AcceptMode acceptMode;
    bool modal;
    QWidget *parent;

    bool operator==(const DialogLook &) const = default;
};

DialogLook LookOf(const QFileDialog &dialog)
{
    const auto *typeBox = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    return {dialog.windowTitle(),
            dialog.nameFilters(),
            typeBox ? typeBox->currentText() : QStringLiteral("(none)"),
            dialog.options(),
            dialog.fileMode(),
            dialog.acceptMode(),
            dialog.isModal(),
            dialog.parentWidget()};
}

/// Types text into the dialog's file-name box and presses Open.
int TypeAndOpen(OpenFileDialog &dialog, const fs::path &folder, const QString &typed)
{
    dialog.setDirectory(Q(folder));
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    if (!edit || !buttons || !buttons->button(QDialogButtonBox::Open)) {
        ADD_FAILURE() << "the dialog's name box or Open button is missing";
        return QDialog::Rejected;
    }
    edit->setText(typed);
    buttons->button(QDialogButtonBox::Open)->click();
    return dialog.result();
}

TEST(OpenFileDialog, IsSetUpTheSameWayEachTimeItOpens)
{
    QWidget owner;
    std::vector<DialogLook> looks;
    OpenFileDialogSeam seam;
    seam.run = [&](OpenFileDialog &dialog) {
        looks.push_back(LookOf(dialog));
        return int(QDialog::Rejected);
    };
    EXPECT_EQ(ShowOpenFileDialog(&owner, seam), std::nullopt);
    EXPECT_EQ(ShowOpenFileDialog(&owner, seam), std::nullopt);

    ASSERT_EQ(looks.size(), 2u);
    EXPECT_EQ(looks[0], looks[1]);
    const DialogLook &look = looks[0];
    EXPECT_EQ(look.title, QStringLiteral("Open the file to view its dependencies"));
    EXPECT_EQ(look.nameFilters,
              QStringList{QStringLiteral("Windows Dependency Files (*.exe *.dll *.ocx)")});
    EXPECT_EQ(look.typeBox, QStringLiteral("Windows Dependency Files"));
    EXPECT_TRUE(look.options.testFlag(QFileDialog::DontResolveSymlinks));
    EXPECT_TRUE(look.options.testFlag(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(look.options.testFlag(QFileDialog::ReadOnly));
    EXPECT_EQ(look.fileMode, QFileDialog::AnyFile); // one file, existing or new
    EXPECT_EQ(look.acceptMode, QFileDialog::AcceptOpen);
    EXPECT_EQ(look.parent, &owner);
}

TEST(OpenFileDialog, ListsFoldersAndDependencyFilesInAnyLetterCase)
{
    const TempDir dir;
    for (const char *name : {"a.exe", "B.EXE", "c.Dll", "d.OCX", "e.txt", "f.exe.bak", "g"}) {
        dir.Write(name, "MZ");
    }
    fs::create_directory(dir / "sub");
    QStringList listed;
    OpenFileDialogSeam seam;
    seam.run = [&](OpenFileDialog &dialog) {
        dialog.setDirectory(Q(dir.Path()));
        const auto *view = dialog.findChild<QListView *>(QStringLiteral("listView"));
        if (!view) {
            ADD_FAILURE() << "no file list in the dialog";
            return int(QDialog::Rejected);
        }
        const auto rows = [view] { return view->model()->rowCount(view->rootIndex()); };
        // The folder is read in the background; give stray entries time to show up too.
        EXPECT_TRUE(QTest::qWaitFor([&] { return rows() >= 5; }, 10000));
        QTest::qWait(200);
        for (int row = 0; row < rows(); ++row) {
            listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
        }
        return int(QDialog::Rejected);
    };
    ShowOpenFileDialog(nullptr, seam);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{QStringLiteral("B.EXE"), QStringLiteral("a.exe"),
                                   QStringLiteral("c.Dll"), QStringLiteral("d.OCX"),
                                   QStringLiteral("sub")}));
}

TEST(OpenFileDialog, CancelReturnsNothing)
{
    const TempDir dir;
    dir.Write("app.exe", "MZ");
    OpenFileDialogSeam seam;
    seam.run = [&](OpenFileDialog &dialog) {
        dialog.setDirectory(Q(dir.Path()));
        dialog.selectFile(QStringLiteral("app.exe"));
        dialog.reject();
        return dialog.result();
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), std::nullopt);
}

TEST(OpenFileDialog, ReturnsTheChosenFilesFullPath)
{
    const TempDir dir;
    const auto app = dir.Write("My App.exe", "MZ");
    int prompts = 0;
    OpenFileDialogSeam seam;
    seam.confirmCreate = [&](QWidget *, const QString &) {
        ++prompts;
        return true;
    };
    seam.run = [&](OpenFileDialog &dialog) {
        return TypeAndOpen(dialog, dir.Path(), QStringLiteral("My App.exe"));
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), app.string());
    EXPECT_EQ(prompts, 0) << "an existing file needs no create prompt";
}

TEST(OpenFileDialog, ReturnsALinksOwnPathNotItsTarget)
{
    const TempDir dir;
    const auto target = dir.Write("real.dll", "MZ");
    fs::create_symlink(target, dir / "link.dll");
    fs::create_symlink(dir / "gone.dll", dir / "dangling.dll");
    int prompts = 0;
    OpenFileDialogSeam seam;
    seam.confirmCreate = [&](QWidget *, const QString &) {
        ++prompts;
        return true;
    };

    seam.run = [&](OpenFileDialog &dialog) {
        dialog.setDirectory(Q(dir.Path()));
        dialog.selectFile(Q(dir / "link.dll"));
        dialog.accept();
        return dialog.result();
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), (dir / "link.dll").string());

    // A link whose target is gone is still a file the user can pick, without a create prompt.
    seam.run = [&](OpenFileDialog &dialog) {
        return TypeAndOpen(dialog, dir.Path(), QStringLiteral("dangling.dll"));
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), (dir / "dangling.dll").string());
    EXPECT_EQ(prompts, 0);
}

TEST(OpenFileDialog, NewNameIsReturnedOnlyWhenTheUserAgreesAndNothingIsCreated)
{
    const TempDir dir;
    std::vector<QString> asked;
    bool agree = true;
    QWidget *promptParent = nullptr;
    OpenFileDialogSeam seam;
    seam.confirmCreate = [&](QWidget *parent, const QString &path) {
        promptParent = parent;
        asked.push_back(path);
        return agree;
    };
    OpenFileDialog *shown = nullptr;
    seam.run = [&](OpenFileDialog &dialog) {
        shown = &dialog;
        return TypeAndOpen(dialog, dir.Path(), QStringLiteral("new.exe"));
    };

    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), (dir / "new.exe").string());
    EXPECT_EQ(asked, std::vector<QString>{Q(dir / "new.exe")});
    EXPECT_EQ(promptParent, shown) << "the prompt belongs to the dialog";
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "new.exe")));
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    // Refusing keeps the dialog open with nothing chosen; here the user then cancels.
    agree = false;
    bool stillOpenAfterRefusal = false;
    seam.run = [&](OpenFileDialog &dialog) {
        const int result = TypeAndOpen(dialog, dir.Path(), QStringLiteral("other.dll"));
        stillOpenAfterRefusal = result != QDialog::Accepted;
        return int(QDialog::Rejected);
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), std::nullopt);
    EXPECT_TRUE(stillOpenAfterRefusal);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(OpenFileDialog, TypingAFolderOpensItInsteadOfChoosingIt)
{
    const TempDir dir;
    fs::create_directory(dir / "sub");
    int prompts = 0;
    OpenFileDialogSeam seam;
    seam.confirmCreate = [&](QWidget *, const QString &) {
        ++prompts;
        return true;
    };
    QString directoryAfter;
    seam.run = [&](OpenFileDialog &dialog) {
        const int result = TypeAndOpen(dialog, dir.Path(), QStringLiteral("sub"));
        directoryAfter = dialog.directory().absolutePath();
        return result;
    };
    EXPECT_EQ(ShowOpenFileDialog(nullptr, seam), std::nullopt);
    EXPECT_EQ(directoryAfter, Q(dir / "sub"));
    EXPECT_EQ(prompts, 0);
}

} // namespace
} // namespace quorvane
