#include "core/platform/FileSystem.h"

#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

std::filesystem::path FsPath(const std::string &path)
{
    return std::filesystem::path(path);
}

std::string PathText(const std::filesystem::path &path)
{
    return path.string();
}

std::FILE *CreateNewFile(const std::string &path)
{
    // O_EXCL: never an existing file, and never through a link that stands at the name.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE *file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
    }
    return file;
}

} // namespace quorvane
