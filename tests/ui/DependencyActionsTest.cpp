// The double-click on the dependency list: where it looks, in which order, what it starts, and
// what it says when it finds nothing or cannot start.
#include "core/check/DependencyActions.h"
#include "support/TempDir.h"
#include "ui/DependencyLaunch.h"

#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

/// A disk made of a set of present paths, recording every presence test.
struct FakeDisk {
    std::set<std::string> present;
    std::string systemFolder = "/sys32";
    std::vector<std::string> looked;

    DependencyLookup Lookup()
    {
        return {[this](const std::string &path) {
                    looked.push_back(path);
                    return present.count(path) > 0;
                },
                [this] { return systemFolder; }};
    }
};

TEST(FindDependency, LooksInTheApplicationFolderFirstAndInTheSystemFolderOnlyAfterAMiss)
{
    FakeDisk disk;
    disk.present = {"/app/both.dll", "/sys32/both.dll", "/app/mine.dll", "/sys32/KERNEL32.dll"};

    EXPECT_EQ(FindDependency("/app/main.exe", "both.dll", disk.Lookup()), "/app/both.dll");
    EXPECT_EQ(disk.looked, std::vector<std::string>{"/app/both.dll"});

    disk.looked.clear();
    EXPECT_EQ(FindDependency("/app/main.exe", "mine.dll", disk.Lookup()), "/app/mine.dll");
    EXPECT_EQ(disk.looked.size(), 1u);

    disk.looked.clear();
    EXPECT_EQ(FindDependency("/app/main.exe", "KERNEL32.dll", disk.Lookup()),
              "/sys32/KERNEL32.dll");
    EXPECT_EQ(disk.looked, (std::vector<std::string>{"/app/KERNEL32.dll", "/sys32/KERNEL32.dll"}));

    disk.looked.clear();
    EXPECT_EQ(FindDependency("/app/main.exe", "nowhere.dll", disk.Lookup()), std::nullopt);
    EXPECT_EQ(disk.looked, (std::vector<std::string>{"/app/nowhere.dll", "/sys32/nowhere.dll"}));
}

TEST(FindDependency, TheApplicationFolderEndsAtThePathsLastSeparator)
{
    const struct {
        const char *path;
        const char *firstLook;
    } cases[] = {
        {"/opt/tool/main.exe", "/opt/tool/x.dll"},
        {"/main.exe", "/x.dll"},
        {"main.exe", "x.dll"}, // no folder: looked up in the current folder
        {"", "x.dll"},
        {"rel/dir/", "rel/dir/x.dll"},
        {"/a b/c\\d.exe", "/a b/x.dll"}, // a backslash is part of a Linux file name
    };
    for (const auto &c : cases) {
        FakeDisk disk;
        FindDependency(c.path, "x.dll", disk.Lookup());
        ASSERT_EQ(disk.looked.size(), 2u) << c.path;
        EXPECT_EQ(disk.looked[0], c.firstLook) << c.path;
        EXPECT_EQ(disk.looked[1], "/sys32/x.dll") << c.path;
    }
}

TEST(FindDependency, SearchesAStatusTextLikeAName)
{
    FakeDisk disk;
    EXPECT_EQ(FindDependency("/app/main.exe", "Error mapping file.", disk.Lookup()), std::nullopt);
    EXPECT_EQ(disk.looked,
              (std::vector<std::string>{"/app/Error mapping file.", "/sys32/Error mapping file."}));
}

TEST(FindDependency, BarePathAndMissingSystemFolderStillMakeTheTwoSearches)
{
    FakeDisk disk;
    disk.systemFolder.clear();
    disk.present = {"/x.dll"};
    EXPECT_EQ(FindDependency("main.exe", "x.dll", disk.Lookup()), "/x.dll");
    EXPECT_EQ(disk.looked, (std::vector<std::string>{"x.dll", "/x.dll"}));
}

TEST(FindDependency, NamesThatAreNotPlainFileNamesAreNeverLookedUp)
{
    FakeDisk disk;
    disk.present = {"/app/../etc/passwd", "/etc/passwd", "/sys32/../x.dll", "/app/.."};
    for (const char *name :
         {"", ".", "..", "../etc/passwd", "..\\x.dll", "/etc/passwd", "sub/x.dll", "C:x.dll",
          "C:\\Windows\\x.dll", "\\\\host\\share\\x.dll", "x.dll:stream"}) {
        EXPECT_EQ(FindDependency("/app/main.exe", name, disk.Lookup()), std::nullopt) << name;
    }
    EXPECT_EQ(FindDependency("/app/main.exe", std::string_view("x.dll\0.exe", 10), disk.Lookup()),
              std::nullopt);
    EXPECT_TRUE(disk.looked.empty());

    // Odd but plain names are names like any other.
    for (const char *name : {"a..dll", "with space.ocx", "-rf", "\"quoted\".dll", "$(x).dll"}) {
        disk.looked.clear();
        FindDependency("/app/main.exe", name, disk.Lookup());
        EXPECT_EQ(disk.looked.size(), 2u) << name;
    }
}

/// Everything the double-click does to the world, recorded.
struct Recorder {
    struct Start {
        std::string program;
        std::vector<std::string> arguments;
    };
    struct Message {
        QWidget *owner;
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    std::vector<Start> starts;
    std::vector<Message> messages;

    DependencyLaunchSeam Seam()
    {
        DependencyLaunchSeam seam;
        seam.programPath = [] { return std::string("/usr/bin/quorvane"); };
        seam.startDetached = [this](const std::string &program,
                                    const std::vector<std::string> &args, QString &reason) {
            starts.push_back({program, args});
            reason.clear();
            return true;
        };
        seam.showMessage = [this](QWidget *owner, QMessageBox::Icon icon, const QString &title,
                                  const QString &text) {
            messages.push_back({owner, icon, title, text});
        };
        return seam;
    }
};

TEST(OpenDependencyInNewCopy, StartsThisProgramOnTheFoundPathAsItsOneArgument)
{
    QWidget owner;
    FakeDisk disk;
    disk.present = {"/apps/my tool/zlib1.dll", "/sys32/zlib1.dll"};
    Recorder rec;
    const std::string name = "zlib1.dll";

    OpenDependencyInNewCopy(&owner, "/apps/my tool/main.exe", &name, disk.Lookup(), rec.Seam());

    ASSERT_EQ(rec.starts.size(), 1u);
    EXPECT_EQ(rec.starts[0].program, "/usr/bin/quorvane");
    EXPECT_EQ(rec.starts[0].arguments, std::vector<std::string>{"/apps/my tool/zlib1.dll"});
    EXPECT_TRUE(rec.messages.empty());
}

TEST(OpenDependencyInNewCopy, SaysNotFoundWithTheCriticalIconWhenInNeitherFolder)
{
    QWidget owner;
    FakeDisk disk;
    Recorder rec;
    const std::string name = "Error mapping file.";

    OpenDependencyInNewCopy(&owner, "/apps/main.exe", &name, disk.Lookup(), rec.Seam());

    EXPECT_TRUE(rec.starts.empty());
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].owner, &owner);
    EXPECT_EQ(rec.messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(rec.messages[0].title, QStringLiteral("Not Found"));
    EXPECT_EQ(rec.messages[0].text,
              QStringLiteral("File not found in application folder or system folder!"));
    EXPECT_EQ(disk.looked.size(), 2u);
}

TEST(OpenDependencyInNewCopy, DoesNothingWithoutACurrentItem)
{
    QWidget owner;
    FakeDisk disk;
    disk.present = {"/sys32/"};
    Recorder rec;

    OpenDependencyInNewCopy(&owner, "/apps/main.exe", nullptr, disk.Lookup(), rec.Seam());

    EXPECT_TRUE(disk.looked.empty());
    EXPECT_TRUE(rec.starts.empty());
    EXPECT_TRUE(rec.messages.empty());
}

/// A lookup on the real disk that matches names regardless of letter case, as the program's
/// presence test does.
DependencyLookup RealDisk(const fs::path &systemFolder)
{
    return {[](const std::string &path) { return OnDiskPath(path).has_value(); },
            [systemFolder] { return systemFolder.string(); }};
}

TEST(OnDiskPath, FindsTheFileAsItIsSpeltOnDisk)
{
    const TempDir dir;
    const std::string prefix = dir.Path().string() + "/";
    std::ofstream(dir / "kernel32.dll") << "MZ";
    std::ofstream(dir / "USER32.DLL") << "MZ";
    std::ofstream(dir / "user32.dll") << "MZ";
    std::ofstream(dir / ".hidden.dll") << "MZ";
    fs::create_directory(dir / "Folder.dll");
    fs::create_symlink(dir / "kernel32.dll", dir / "link.dll");

    EXPECT_EQ(OnDiskPath(prefix + "kernel32.dll"), prefix + "kernel32.dll");
    EXPECT_EQ(OnDiskPath(prefix + "KERNEL32.dll"), prefix + "kernel32.dll");
    EXPECT_EQ(OnDiskPath(prefix + "user32.dll"), prefix + "user32.dll") << "exact spelling first";
    EXPECT_EQ(OnDiskPath(prefix + "User32.Dll"), prefix + "USER32.DLL") << "then byte order";
    EXPECT_EQ(OnDiskPath(prefix + "LINK.DLL"), prefix + "link.dll");
    EXPECT_EQ(OnDiskPath(prefix + ".HIDDEN.dll"), std::nullopt);
    EXPECT_EQ(OnDiskPath(prefix + "folder.dll"), std::nullopt);
    EXPECT_EQ(OnDiskPath(prefix + "none.dll"), std::nullopt);
    EXPECT_EQ(OnDiskPath(prefix + "missing/kernel32.dll"), std::nullopt);
    EXPECT_EQ(OnDiskPath(prefix), std::nullopt);
}

TEST(OpenDependencyInNewCopy, TheNewCopyGetsTheNameAsSpeltOnDisk)
{
    const TempDir system;
    std::ofstream(system / "kernel32.dll") << "MZ";
    QWidget owner;
    Recorder rec;
    const std::string name = "KERNEL32.dll";
    OpenDependencyInNewCopy(&owner, "/nowhere/main.exe", &name, RealDisk(system.Path()),
                            rec.Seam());
    ASSERT_EQ(rec.starts.size(), 1u);
    EXPECT_EQ(rec.starts[0].arguments,
              std::vector<std::string>{(system / "kernel32.dll").string()});
}

// The probe's lines, bytes as it received them.
std::vector<std::string> WaitForProbe(const fs::path &out)
{
    QElapsedTimer timer;
    timer.start();
    while (!fs::exists(out) && timer.elapsed() < 20000) {
        QThread::msleep(20);
    }
    std::ifstream file(out, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(OpenDependencyInNewCopy, AFoundPathWithSpacesQuotesAndNoUtf8ReachesTheNewCopyWhole)
{
    const TempDir dir;
    // Windows-1252 letters, as files unpacked from a Windows archive carry them.
    const fs::path app = dir / "My \"Apps\" & 'Tools' $HOME caf\xe9";
    fs::create_directory(app);
    const TempDir system;
    std::ofstream(app / "my lib;rm -rf.dll") << "MZ";
    const fs::path out = dir / "argv.txt";
    qputenv("QUORVANE_ARGV_PROBE_OUT", QByteArray::fromStdString(out.string()));

    QWidget owner;
    const std::string name = "my lib;rm -rf.dll";
    DependencyLaunchSeam seam;
    seam.programPath = [] { return std::string(QUORVANE_ARGV_PROBE); };
    seam.showMessage = [](QWidget *, QMessageBox::Icon, const QString &, const QString &text) {
        ADD_FAILURE() << text.toStdString();
    };
    OpenDependencyInNewCopy(&owner, (app / "main.exe").string(), &name, RealDisk(system.Path()),
                            seam);

    const std::vector<std::string> received = WaitForProbe(out);
    qunsetenv("QUORVANE_ARGV_PROBE_OUT");
    EXPECT_EQ(received, (std::vector<std::string>{"1", (app / name).string()}));
}

TEST(OpenDependencyInNewCopy, AProgramThatCannotStartIsReportedWithTheSystemsReason)
{
    const TempDir system;
    std::ofstream(system / "KERNEL32.dll") << "MZ";
    QWidget owner;
    const std::string name = "KERNEL32.dll";
    std::vector<QString> texts;
    DependencyLaunchSeam seam;
    seam.programPath = [&] { return (system / "no-such-program").string(); };
    seam.showMessage = [&](QWidget *, QMessageBox::Icon icon, const QString &,
                           const QString &text) {
        EXPECT_EQ(icon, QMessageBox::Critical);
        texts.push_back(text);
    };
    OpenDependencyInNewCopy(&owner, "/nowhere/main.exe", &name, RealDisk(system.Path()), seam);

    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].contains(QString::fromStdString((system / "KERNEL32.dll").string())));
    // The reason comes from the system, in the user's language: it is there, after the path.
    const QString reason = texts[0].section(QStringLiteral("\n\n"), -1);
    EXPECT_FALSE(reason.trimmed().isEmpty()) << texts[0].toStdString();
    EXPECT_FALSE(reason.contains(QStringLiteral("KERNEL32.dll")));
}

} // namespace
} // namespace quorvane
