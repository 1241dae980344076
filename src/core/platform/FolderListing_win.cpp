#include "core/platform/FolderListing.h"
#include "core/platform/WinText.h"

namespace quorvane {
namespace {

constexpr DWORD kNeverFound = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

std::wstring Joined(const std::string &folder, const std::wstring &tail)
{
    std::wstring path = Widen(folder);
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') {
        path += L'\\';
    }
    return path + tail;
}

} // namespace

bool ListFolder(const std::string &folder, const FolderEntryVisitor &visit)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find =
        ::FindFirstFileExW(Joined(folder, L"*").c_str(), FindExInfoBasic, &data,
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
    const DWORD attributes = ::GetFileAttributesW(Joined(folder, Widen(name)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNeverFound) == 0;
}

} // namespace quorvane
