#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Where a path's folder part ends. Windows takes both slashes; elsewhere only '/' separates, and a
// backslash is an ordinary character of a file name. Every split and join of a path goes through
// the functions below, so that the whole program follows this one rule.
#ifdef _WIN32
inline constexpr std::string_view kFolderSeparators = "\\/";
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr std::string_view kFolderSeparators = "/";
inline constexpr char kPathSeparator = '/';
#endif

/// Whether c separates folders on this platform.
constexpr bool IsFolderSeparator(char c)
{
    return kFolderSeparators.find(c) != std::string_view::npos;
}

/// The folder part of a path: everything up to and including its last separator; the empty text
/// when it has none (a bare name, in the current folder).
std::string_view FolderPartOf(std::string_view path);

/// The last component of a path: everything after its last separator.
std::string_view FileNameOf(std::string_view path);

/// A folder as a user gives it, without trailing separators; a root ("/") keeps its one.
std::string WithoutTrailingSeparators(std::string_view folder);

/// The folder followed by exactly one separator: the prefix a file name is appended to.
std::string FolderPrefix(std::string_view folder);

/// The entry name of folder: folder, a separator unless it ends in one, and name; the name alone
/// when folder is empty (the current folder).
std::string JoinPath(std::string_view folder, std::string_view name);

} // namespace quorvane
