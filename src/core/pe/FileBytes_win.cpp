#include "core/pe/FileBytes.h"
#include "core/platform/WinText.h"

#include <algorithm>

namespace quorvane {

std::unique_ptr<FileBytes> FileBytes::Open(const std::string &path)
{
    if (path.empty()) {
        return nullptr;
    }
    const std::wstring wide = Widen(path);
    // Look before opening: opening a device or a pipe has effects of its own, and a folder is no
    // file. The checks on the handle cover a path that is swapped after the look.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return nullptr;
    }
    // Sharing everything: the file under analysis stays free for others to write, rename or
    // delete while it is read.
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !::GetFileSizeEx(h, &size) ||
        size.QuadPart < 0) {
        ::CloseHandle(h);
        return nullptr;
    }
    return std::unique_ptr<FileBytes>(new FileBytes(reinterpret_cast<std::intptr_t>(h),
                                                    static_cast<std::uint64_t>(size.QuadPart)));
}

FileBytes::~FileBytes()
{
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

std::size_t FileBytes::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED at{};
        const std::uint64_t pos = offset + done;
        at.Offset = static_cast<DWORD>(pos);
        at.OffsetHigh = static_cast<DWORD>(pos >> 32);
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
        if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), out.data() + done, want, &got, &at) ||
            got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

} // namespace quorvane
