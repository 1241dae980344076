#include "core/pe/FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

std::unique_ptr<FileBytes> FileBytes::Open(const std::string &path)
{
    if (path.empty()) {
        return nullptr;
    }
    // Look before opening: opening some devices has effects of its own, and a FIFO must never be
    // waited on. O_NONBLOCK covers the race in which the path is swapped for one after the look.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) {
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileBytes>(
        new FileBytes(static_cast<std::intptr_t>(fd), static_cast<std::uint64_t>(st.st_size)));
}

FileBytes::~FileBytes()
{
    ::close(static_cast<int>(m_handle));
}

std::size_t FileBytes::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(static_cast<int>(m_handle), out.data() + done,
                                    out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace quorvane
