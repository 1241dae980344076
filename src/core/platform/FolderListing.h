#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

/// What a folder entry is, as far as the search for a file goes.
enum class EntryKind {
    RegularFile, // an ordinary file the search may find
    Other,       // a folder, a hidden or system file, a device...: never found
    Unresolved,  // a link, or a file system that does not say: ask IsRegularFileAt
};

using FolderEntryVisitor = std::function<void(std::string_view name, EntryKind kind)>;

/// Calls visit once for each entry of folder ("" is the current folder). Hidden entries (on POSIX
/// a name starting with ".") come as Other. False, with no call, when the folder cannot be read.
bool ListFolder(const std::string &folder, const FolderEntryVisitor &visit);

/// Whether path names a folder, a link being taken as what it points to.
bool IsFolder(const std::string &path);

/// Whether the entry name of folder is a regular, visible file, a link being taken as what it
/// points to (a dangling link is nothing).
bool IsRegularFileAt(const std::string &folder, const std::string &name);

} // namespace quorvane
