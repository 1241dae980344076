#include "core/platform/FileSystem.h"
#include "core/platform/WinText.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace quorvane {

std::filesystem::path FsPath(const std::string &path)
{
    return std::filesystem::path(Widen(path));
}

std::string PathText(const std::filesystem::path &path)
{
    return Narrow(path.wstring());
}

std::FILE *CreateNewFile(const std::string &path)
{
    // _O_EXCL, not fopen's "x", which the C runtime that comes with Windows does not know.
    const int fd =
        ::_wopen(Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE *file = ::_fdopen(fd, "wb");
    if (!file) {
        ::_close(fd);
    }
    return file;
}

} // namespace quorvane
