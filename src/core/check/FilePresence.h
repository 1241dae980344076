#pragma once

#include "core/platform/FolderListing.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

/// How the search reads folders; tests put recording or failing stand-ins in.
struct FolderAccess {
    std::function<bool(const std::string &folder, const FolderEntryVisitor &visit)> list;
    std::function<bool(const std::string &folder, const std::string &name)> isRegularFile;

    /// This platform's folders: ListFolder and IsRegularFileAt.
    static FolderAccess Platform();
};

/// Whether a name read from a file can stand for a file in a folder at all. A name holding a
/// separator ('/' or '\'), a drive or stream colon, a NUL, or that is "." or "..", names something
/// outside the folder it is looked for in; such a name is never found, and no folder but the
/// prefix's own is ever read for it.
bool IsPlainFileName(std::string_view name);

/// The file search for prefix and name joined as they stand: true when the folder of the joined
/// path (everything up to its last separator; the current folder when it has none) holds a regular,
/// visible file whose name equals the path's last component without regard to ASCII letter case.
/// Folders never match; a link counts as what it points to, a dangling link as nothing. A name
/// that is not a plain file name is never found.
bool IsFilePresent(const std::string &prefix, const std::string &name,
                   const FolderAccess &access = FolderAccess::Platform());

/// The same search for a whole path whose every part is trusted, such as a path the user chose.
/// The last component is the name; it must be a plain file name too.
bool IsFilePresent(const std::string &prefixedPath);

/// The file search for many names: each folder is read once, on its first search, and answers
/// every later search from memory, with the same answers as IsFilePresent. For one check; a new
/// check starts with a new cache, so that it sees the folders as they are.
class FolderCache {
public:
    explicit FolderCache(FolderAccess access = FolderAccess::Platform());

    bool IsPresent(const std::string &prefix, const std::string &name);

    /// The same search, answering with the matching entry's name as it is spelt in the folder
    /// (so that prefix + the answer opens the file on a file system that minds letter case);
    /// nullopt when IsPresent would answer false. Of several entries that differ only in case,
    /// the first in code-point order.
    std::optional<std::string> FindEntry(const std::string &prefix, const std::string &name);

    /// How many folders have been read (a folder that could not be read counts too).
    std::size_t FoldersRead() const { return m_folders.size(); }

private:
    // What a folder holds under one name in lower case: found for certain, or only links (and
    // entries of unknown type) that are resolved when a search first asks for them. Entries that
    // can never match are not kept.
    struct Slot {
        bool regular = false;
        std::string spelling; // the regular entry's own name, once regular is true
        std::vector<std::string> unresolved;
    };
    using Folder = std::unordered_map<std::string, Slot>;

    // Folders are looked up by a piece of the prefix, without copying it.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const
        {
            return std::hash<std::string_view>{}(path);
        }
    };

    Folder &FolderOf(std::string_view folder);
    const Slot *Find(const std::string &prefix, const std::string &name);

    FolderAccess m_access;
    std::unordered_map<std::string, Folder, PathHash, std::equal_to<>> m_folders;
    std::string m_scratch; // the name being looked up, in lower case
};

} // namespace quorvane
