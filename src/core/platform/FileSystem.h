#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace quorvane {

/// A path as this program keeps it, as std::filesystem takes it. Paths are UTF-8 text on Windows
/// and bytes elsewhere; std::filesystem::path's own constructor from std::string reads them in the
/// ANSI code page on Windows, which turns every other name into a different one.
std::filesystem::path FsPath(const std::string &path);

/// The path's text as this program keeps paths: the inverse of FsPath.
std::string PathText(const std::filesystem::path &path);

/// Creates path as a new file open for writing bytes; nullptr when anything is there already (a
/// file, a folder, a link, even a dangling one) or it cannot be made. The caller closes it.
std::FILE *CreateNewFile(const std::string &path);

} // namespace quorvane
