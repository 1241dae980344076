// The Windows side of the platform layer, on the real system calls: file names in UTF-16, both
// slashes, drive letters and letter case; what is no file; the system folder; the shell's failures.
// Built only for Windows; CI runs it under Wine (see the README for what Wine cannot show).
#include "core/check/FilePresence.h"
#include "core/check/MissingCheck.h"
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

namespace quorvane {
namespace {

// A program importing a DLL beside it, in a folder whose name needs UTF-16 (outside every ANSI code
// page at once): every spelling of its path reads it and finds it by its last name; what is no file
// is neither opened nor found.
TEST(WindowsFiles, EverySpellingOfAPathReadsTheFileWhatIsNoFileIsNeitherOpenedNorFound)
{
    test::TempDir dir;
    const std::string folder = PathText(dir.Path()) + "\\Ünïcödé 名前 Ω"; // as Windows spells it
    const std::string path = folder + "\\App ☃.exe", locked = folder + "\\locked.dll",
                      hidden = folder + "\\hidden.dll", system = folder + "\\system.dll";
    ASSERT_EQ(path[1], ':') << "the temporary folder has a drive letter";
    std::filesystem::create_directories(FsPath(folder + "\\folder.dll"));
    test::PeBuilder pe;
    pe.imports = {"KERNEL32.dll", "\334ber.dll"}; // ANSI, read as Windows-1252: "Über.dll"
    for (const std::string &file : {path, folder + "\\Über.dll", locked, hidden, system}) {
        pe.Build().WriteTo(FsPath(file));
    }
    // Another program holding the file without sharing it: Windows refuses every other open.
    const HANDLE holder = ::CreateFileW(Widen(locked).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::SetFileAttributesW(Widen(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(Widen(system).c_str(), FILE_ATTRIBUTE_SYSTEM));
    std::string slashes = path;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    // The path; the reader opens it; the presence check finds it by its last name.
    const std::tuple<std::string, bool, bool> rows[] = {
        {path, true, true},
        {slashes, true, true},
        {slashes.substr(0, folder.size()) + "\\App ☃.exe", true, true},
        {folder + "\\\\.\\App ☃.exe", true, true},
        {ToAsciiLower(path), true, true}, // the drive letter too
        {folder + "/ÜBER.DLL", true, true},
        {folder + "\\absent.dll", false, false},
        {folder + "\\no folder\\Über.dll", false, false},
        {folder + "\\folder.dll", false, false},
        {"NUL", false, false},
        {locked, false, true}, // there, only held
        {hidden, true, false},
        {system, true, false}, // passed over
        {folder + "\\Über.dll:stream", false, false},
    };
    for (const auto &[file, opens, found] : rows) {
        std::string list, status;
        GetImportList(file, list, status);
        EXPECT_EQ(list == "KERNEL32.dll\r\nÜber.dll", opens) << file << ": " << status;
        const std::string prefix = ApplicationPrefix(file);
        EXPECT_EQ(IsFilePresent(prefix, file.substr(prefix.size())), found) << file;
    }
    ::CloseHandle(holder);
    FolderCache cache; // it answers with the name as spelt on disk; letter case is ASCII's only
    EXPECT_EQ(cache.FindEntry(folder + "/", "ÜBER.dll"), "Über.dll");
    EXPECT_EQ(cache.FindEntry(folder + "\\", "app ☃.EXE"), "App ☃.exe");
    EXPECT_EQ(cache.FindEntry(folder + "\\", "über.dll"), std::nullopt);
}

TEST(WindowsSystemFolder, HoldsKernel32WithSysWow64BesideIt)
{
    const std::string folder = GetSystemFolder();
    EXPECT_TRUE(IsFilePresent(SystemPrefix(folder), "KERNEL32.DLL")) << folder;
    EXPECT_EQ(GetWinePrefix(), "") << "Windows has a system folder of its own";
    // 32-bit programs: SysWOW64 on 64-bit Windows (Wine makes one in every 64-bit prefix).
    EXPECT_TRUE(EqualsIgnoringAsciiCase(GetSystemFolderFor32BitPrograms(),
                                        folder.substr(0, folder.size() - 8) + "syswow64"));
}

// A missing document, named whole or in a folder, and an extension no program is registered for
// (nothing is ever started by this test).
TEST(WindowsShell, FailuresOfTheRealShellLeaveTheirRecords)
{
    test::TempDir dir;
    const std::string folder = PathText(dir.Path());
    const std::tuple<std::string, std::string, std::int32_t> rows[] = {
        {folder + "\\absent ☃.txt", "", 53},
        {"absent ☃.txt", folder, 53},
        {PathText(dir.Write("data.quorvane-none", "x")), "", -2147220456 + kShellNoAssociation},
    };
    for (const auto &[document, directory, number] : rows) {
        EXPECT_FALSE(ShellOpenDocument(document, kShowNormal, "", directory, "open", 0));
        EXPECT_EQ(LastShellError().number, number) << document;
        EXPECT_EQ(LastShellError().source, "quorvane_platform_tests.GShell");
    }
}

} // namespace
} // namespace quorvane
