// The Windows side of the platform layer, on the real system calls: file names in UTF-16, both
// slashes, drive letters and letter case; what is no file; the system folder; the shell's failures.
// Built only for Windows; CI runs it under Wine (see the README for what Wine cannot show).
#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
#include "core/pe/FileBytes.h"
#include "core/pe/modPETables.h"
#include "core/platform/FileSystem.h"
#include "core/platform/WinText.h"
#include "core/platform/modShellExecute.h"
#include "core/platform/modSysFolder.h"
#include "core/text/AsciiCase.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace quorvane {
namespace {

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Slashes(std::string text, char from, char to)
{
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// A program in a folder whose names need UTF-16: outside every ANSI code page at once.
class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = PathText(dir.Path()) + "\\Ünïcödé 名前 Ω";
        std::filesystem::create_directory(FsPath(m_folder));
        test::PeBuilder pe;
        // Names in a PE file are ANSI text, read as Windows-1252: "\xDC" is "Ü".
        pe.imports = {"KERNEL32.dll", std::string("\xDC") + "ber.dll"};
        pe.Build().WriteTo(FsPath(m_folder + "\\App ☃.exe"));
        pe.Build().WriteTo(FsPath(m_folder + "\\Über.dll"));
    }

    test::TempDir dir;
    std::string m_folder; // with backslashes, as Windows spells it
};

TEST_F(WindowsFiles, EverySpellingOfAPathReadsTheSameFile)
{
    const std::string path = m_folder + "\\App ☃.exe";
    ASSERT_GE(path.size(), 3u);
    ASSERT_EQ(path[1], ':') << "the temporary folder has a drive letter";
    const std::string lowerDrive = static_cast<char>(std::tolower(path[0])) + path.substr(1);
    const struct {
        const char *what;
        std::string path;
    } spellings[] = {
        {"backslashes", path},
        {"slashes", Slashes(path, '\\', '/')},
        {"both", Slashes(m_folder, '\\', '/') + "\\App ☃.exe"},
        {"a doubled separator", m_folder + "\\\\App ☃.exe"},
        {"a lower-case drive letter", lowerDrive},
        {"ASCII letters in upper case", Upper(path)},
        {"a dot folder", m_folder + "\\.\\App ☃.exe"},
    };
    for (const auto &spelling : spellings) {
        SCOPED_TRACE(spelling.what);
        EXPECT_NE(FileBytes::Open(spelling.path), nullptr);
        std::string list, status;
        EXPECT_TRUE(GetImportList(spelling.path, list, status)) << status;
        EXPECT_EQ(list, "KERNEL32.dll\r\nÜber.dll");
        // The check looks for the DLL beside the program, however the program's path was spelt.
        EXPECT_EQ(ApplicationPrefix(spelling.path).size(),
                  spelling.path.size() - std::string_view("App ☃.exe").size());
        EXPECT_TRUE(IsFilePresent(ApplicationPrefix(spelling.path), "ÜBER.DLL"));
    }
}

TEST_F(WindowsFiles, WhatIsNoFileIsNeitherOpenedNorFound)
{
    // Another program holding the file without sharing it: Windows refuses every other open.
    const std::string locked = m_folder + "\\locked.dll";
    test::PeBuilder().Build().WriteTo(FsPath(locked));
    const HANDLE holder = ::CreateFileW(Widen(locked).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::string hidden = m_folder + "\\hidden.dll";
    const std::string system = m_folder + "\\system.dll";
    for (const std::string &path : {hidden, system}) {
        test::PeBuilder().Build().WriteTo(FsPath(path));
    }
    ASSERT_TRUE(::SetFileAttributesW(Widen(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(Widen(system).c_str(), FILE_ATTRIBUTE_SYSTEM));
    std::filesystem::create_directory(FsPath(m_folder + "\\folder.dll"));

    const struct {
        std::string path;
        bool opens; // FileBytes::Open
        bool found; // the presence check, by the last name
    } cases[] = {
        {m_folder + "\\absent.dll", false, false},
        {m_folder + "\\no folder\\Über.dll", false, false},
        {m_folder + "\\folder.dll", false, false},
        {m_folder, false, false},
        {"NUL", false, false},
        {locked, false, true}, // there, only not readable now
        {hidden, true, false}, // readable, but the check passes over hidden and system files
        {system, true, false},
        {m_folder + "\\Über.dll:stream", false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileBytes::Open(c.path) != nullptr, c.opens);
        std::string list, status;
        if (!c.opens) {
            EXPECT_FALSE(GetImportList(c.path, list, status));
            EXPECT_EQ(status, "Error mapping file.");
        }
        const std::string prefix = ApplicationPrefix(c.path);
        EXPECT_EQ(IsFilePresent(prefix, c.path.substr(prefix.size())), c.found);
    }
    ::CloseHandle(holder);
}

TEST_F(WindowsFiles, TheCheckAnswersWithTheNameAsSpeltOnDisk)
{
    FolderCache cache;
    EXPECT_EQ(cache.FindEntry(m_folder + "/", "ÜBER.dll"), "Über.dll");
    EXPECT_EQ(cache.FindEntry(m_folder + "\\", "app ☃.EXE"), "App ☃.exe");
    EXPECT_EQ(cache.FindEntry(m_folder + "\\", "..\\App ☃.exe"), std::nullopt);
    // Letter case is ASCII's only: Windows would also take "über.dll" for this file.
    EXPECT_EQ(cache.FindEntry(m_folder + "\\", "über.dll"), std::nullopt);
}

TEST(WindowsSystemFolder, IsGetSystemDirectorysAndHoldsKernel32)
{
    wchar_t expected[MAX_PATH + 1] = {};
    ASSERT_GT(::GetSystemDirectoryW(expected, MAX_PATH), 0u);
    const std::string folder = GetSystemFolder();
    EXPECT_EQ(folder, Narrow(expected));
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(SystemPrefix(folder), folder + "\\");
    EXPECT_TRUE(IsFilePresent(SystemPrefix(folder), "KERNEL32.DLL"));
    EXPECT_EQ(GetWinePrefix(), "") << "Windows has a system folder of its own";
    // 32-bit programs: SysWOW64 on 64-bit Windows (Wine makes one in every 64-bit prefix).
    EXPECT_TRUE(EqualsIgnoringAsciiCase(GetSystemFolderFor32BitPrograms(),
                                        folder.substr(0, folder.size() - 8) + "syswow64"));
}

TEST(WindowsShell, FailuresOfTheRealShellLeaveTheirRecords)
{
    test::TempDir dir;
    const std::string folder = PathText(dir.Path());
    // An extension no program is registered for; nothing is ever started by this test.
    const std::string unassociated = PathText(dir.Write("data.quorvane-none", "x"));
    const struct {
        std::string document;
        std::string directory;
        std::int32_t number;
        const char *description;
    } cases[] = {
        {folder + "\\absent ☃.txt", "", 53, "File not found"},
        {"absent ☃.txt", folder, 53, "File not found"},
        {unassociated, "", -2147220456 + kShellNoAssociation,
         "No application is associated with this file type."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.document);
        EXPECT_FALSE(ShellOpenDocument(c.document, kShowNormal, "", c.directory, "open", 0));
        EXPECT_EQ(LastShellError().number, c.number);
        EXPECT_EQ(LastShellError().description, c.description);
        EXPECT_EQ(LastShellError().source, "quorvane_platform_tests.GShell");
    }
}

} // namespace
} // namespace quorvane
