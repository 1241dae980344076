#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

/// The size, in characters, of the first buffer handed to the platform; a system folder with a
/// longer path costs a second call.
inline constexpr std::uint32_t kSystemFolderBufferSize = 512;

/// The platform's system-folder call: it writes the folder into buffer, which holds size
/// characters, and returns the number written without the terminating zero. A count above size
/// means the buffer was too small and is the size needed, terminating zero included; 0 is failure.
template <typename Char>
using SystemDirectoryCall = std::function<std::uint32_t(Char *buffer, std::uint32_t size)>;

/// The buffer-and-retry logic over a platform call: a buffer of kSystemFolderBufferSize zeros,
/// and when the call asks for more, one more call with a buffer of the size asked for plus one.
/// The count alone cuts the result; nothing is added or removed. The empty text on failure, also
/// when the second call still finds its buffer too small.
template <typename Char>
std::basic_string<Char> GetSystemFolderWith(const SystemDirectoryCall<Char> &call)
{
    std::basic_string<Char> buffer(kSystemFolderBufferSize, Char(0));
    std::uint32_t count = call(buffer.data(), kSystemFolderBufferSize);
    if (count > kSystemFolderBufferSize) {
        if (count == UINT32_MAX) {
            return {};
        }
        buffer.assign(std::size_t{count} + 1, Char(' '));
        count = call(buffer.data(), count + 1);
        if (count > buffer.size()) {
            // The folder grew between the two calls; a half-filled buffer is no path.
            return {};
        }
    }
    return buffer.substr(0, count);
}

/// The system folder without a trailing separator, or the empty text when the platform has none.
/// Windows: GetSystemDirectoryW. Elsewhere: $QUORVANE_SYSTEM_DIR when set and not empty; else
/// $WINEPREFIX/drive_c/windows/system32 ($WINEPREFIX defaults to ~/.wine) when that is a folder.
/// Never fails loudly and shows nothing.
std::string GetSystemFolder();

/// Where a 32-bit program's system DLLs are. On 64-bit Windows: GetSystemWow64DirectoryW's folder
/// (SysWOW64); on 32-bit Windows, and elsewhere, GetSystemFolder's.
std::string GetSystemFolderFor32BitPrograms();

/// The Wine prefix whose system32 folder GetSystemFolder answers with on this machine, without a
/// trailing separator; the empty text when it answers with something else ($QUORVANE_SYSTEM_DIR,
/// Windows' own folder) or with nothing. Lets a caller pick the prefix's syswow64 folder for
/// 32-bit programs.
std::string GetWinePrefix();

} // namespace quorvane
