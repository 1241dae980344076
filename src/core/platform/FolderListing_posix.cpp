#include "core/platform/FolderListing.h"
#include "core/platform/PathRules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace quorvane {
namespace {

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

const char *FolderOrCurrent(const std::string &folder)
{
    return folder.empty() ? "." : folder.c_str();
}

EntryKind KindOf(const dirent &entry)
{
    if (entry.d_name[0] == '.') {
        return EntryKind::Other;
    }
    switch (entry.d_type) {
    case DT_REG:
        return EntryKind::RegularFile;
    case DT_LNK:
    case DT_UNKNOWN:
        return EntryKind::Unresolved;
    default:
        return EntryKind::Other;
    }
}

} // namespace

bool ListFolder(const std::string &folder, const FolderEntryVisitor &visit)
{
    // O_NONBLOCK: a FIFO where a folder was expected must not hang the check.
    const int fd = ::open(FolderOrCurrent(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return false;
    }
    while (const dirent *entry = ::readdir(dir.get())) {
        visit(entry->d_name, KindOf(*entry));
    }
    return true;
}

bool IsRegularFileAt(const std::string &folder, const std::string &name)
{
    if (name.empty() || name.front() == '.') {
        return false;
    }
    struct stat st {};
    return ::stat(JoinPath(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace quorvane
