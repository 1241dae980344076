#pragma once

#include <string_view>

namespace quorvane {

// Where a path's folder part ends. Windows takes both slashes; elsewhere only '/' separates, and a
// backslash is an ordinary character of a file name.
#ifdef _WIN32
inline constexpr std::string_view kFolderSeparators = "\\/";
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr std::string_view kFolderSeparators = "/";
inline constexpr char kPathSeparator = '/';
#endif

} // namespace quorvane
