#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

inline constexpr std::string_view kNotFoundText =
    "File not found in application folder or system folder!";
inline constexpr std::string_view kNotFoundTitle = "Not Found";

/// The file on disk that a prefixed path names when letter case is disregarded, as the presence
/// test matches names: the path itself when it is a regular file, otherwise the first (in byte
/// order) regular, non-hidden entry of its folder whose name equals its last component up to
/// ASCII letter case. Nothing when there is none. The new window needs this spelling: a list item
/// "KERNEL32.dll" is the file kernel32.dll of a case-sensitive system folder.
std::optional<std::string> OnDiskPath(const std::string &prefixedPath);

/// The services a dependency lookup needs, injected so that tests can stand in for the disk.
struct DependencyLookupServices {
    /// The presence test for one full path (a prefix followed by a name).
    std::function<bool(const std::string &prefixedPath)> isFilePresent;
    /// The system folder without a trailing separator, or the empty text on failure.
    std::function<std::string()> getSystemFolder;
};

/// Where the file a dependency-list item names is: the application folder of pathText (the text
/// up to and including its last folder separator, '/' here and also '\\' on Windows; nothing when
/// it has none, so that a bare name is looked up in the current folder) first, then the system
/// folder followed by one separator (a lone separator when the system folder is unknown), the
/// second searched only when the first has nothing. Returns the prefixed path found, or nothing
/// when the file is in neither folder. A name that is not a plain file name (empty, "." or "..",
/// or holding '/', '\\', ':' or NUL) is data that must never steer a lookup or a process start
/// elsewhere: it is never looked up and counts as absent. Status texts that a scan left in the
/// list are searched like any name. The path returned is spelt as the file is on disk (see
/// OnDiskPath) when that can be found.
std::optional<std::string> FindDependency(std::string_view pathText, std::string_view name,
                                          const DependencyLookupServices &lookup);

} // namespace quorvane
