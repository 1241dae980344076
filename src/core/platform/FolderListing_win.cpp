#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"
#include "core/platform/WinText.h"

namespace quorvane {
namespace {

constexpr DWORD kNeverFound = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

} // namespace

bool ListFolder(const std::string &folder, const FolderEntryVisitor &visit)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find =
        ::FindFirstFileExW(Widen(JoinPath(folder, "*")).c_str(), FindExInfoBasic, &data,
                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        // The attributes come with the listing; a link is taken as listed, like the shell does.
        visit(Narrow(data.cFileName), (data.dwFileAttributes & kNeverFound) != 0
                                          ? EntryKind::Other
                                          : EntryKind::RegularFile);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return true;
}

bool IsRegularFileAt(const std::string &folder, const std::string &name)
{
    const DWORD attributes = ::GetFileAttributesW(Widen(JoinPath(folder, name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNeverFound) == 0;
}

bool IsFolder(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace quorvane
