// The window and quorvane-cli list a file's names in one order: the same hostile import names go
// through the window's Imports Scan and through quorvane-cli check, which prints the missing names
// in the dependency list's order.
#include "cli/Cli.h"
#include "ui/NameList.h"
#include "ui/frmMain.h"

#include "support/ListItems.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

namespace quorvane {
namespace {

TEST(SharedOrder, WindowAndCliSortHostileNamesAlike)
{
    // As the file stores them: letter case mixed, Windows-1252 letters as single bytes (É é Š š Œ
    // œ Ÿ ÿ Æ æ ß µ), signs that are no letters (× ÷), digits and punctuation on both sides of the
    // letters in code-point order.
    std::vector<std::string> names = {
        "kernel32.dll", "KERNEL32.dll", "Kernel32.DLL", "\xC9t\xE9.dll", "\xE9t\xE9.dll",
        "\x8A.dll",     "\x9A.dll",     "\x8C.dll",     "\x9C.dll",      "\x9F.dll",
        "\xFF.dll",     "\xC6.dll",     "\xE6.dll",     "\xDF.dll",      "\xB5.dll",
        "\xD7.dll",     "\xF7.dll",     "_init.dll",    "[x].dll",       "~x.dll",
        "a-b.dll",      "a_b.dll",      "a.b.dll",      "a,b.dll",       "10.dll",
        "9.dll",        "Z.dll",        "z.dll",        "A.DLL",         "a.dll",
        "@.dll",        "{.dll",        "`.dll",        "^.dll",         "y.dll",
    };
    std::shuffle(names.begin(), names.end(), std::mt19937(1));
    test::TempDir dir;
    test::PeBuilder pe;
    pe.imports = names;
    const auto path = pe.Build().WriteTo(dir / "app.exe").string();
    std::filesystem::create_directory(dir / "empty");

    frmMain window("");
    window.txtpath->setText(QString::fromStdString(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ScanRunning(); }, 20000));
    QStringList shown = ItemTexts(*window.LstDep);

    // With an empty system folder every name is missing, and check lists them all.
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"check", "--system-dir=" + (dir / "empty").string(), path}, out, err), 1)
        << err.str();
    QStringList printed;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        printed.push_back(QString::fromStdString(line));
    }

    ASSERT_EQ(shown.size(), static_cast<qsizetype>(names.size()));
    EXPECT_EQ(printed, shown);
    // Both sorted: neither merely kept the table's order.
    EXPECT_NE(shown.front().toStdString(), names.front());
}

} // namespace
} // namespace quorvane
