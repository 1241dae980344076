#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// One file's answer to one command, as the plain and JSON writers print it.
struct FileReport {
    std::string path;
    bool ok = false;
    std::string status;
    std::vector<std::string> names;
    int exitStatus = 0; // what this file contributes to the program's exit status
    /// With --demangle: the names' readable forms, which the plain output shows instead and the
    /// JSON output gives beside them as "demangled".
    std::optional<std::vector<std::string>> demangled = std::nullopt;
};

/// Plain output: one file's names one per line; several files each under a "FILE:" line with the
/// names indented by one tab. A file whose reader failed prints nothing on out and "FILE: STATUS"
/// on err. Control characters in names are written as \xNN, so that bytes from a file cannot drive
/// the terminal.
void WritePlainReports(std::ostream &out, std::ostream &err,
                       const std::vector<FileReport> &reports);

/// One JSON document: {"command": ..., "files": [{"path", "ok", "status", "names"}]}. Text that is
/// not valid UTF-8 (a path on Linux can be any bytes) has its bad bytes replaced by U+FFFD, so the
/// document is always valid JSON.
void WriteJsonReports(std::ostream &out, std::string_view command,
                      const std::vector<FileReport> &reports);

/// The exit status of the whole run: the highest of the files'.
int CombinedExitStatus(const std::vector<FileReport> &reports);

/// The reports of one command, as one JSON document or as plain text; returns the exit status.
int WriteReports(std::ostream &out, std::ostream &err, std::string_view command,
                 const std::vector<FileReport> &reports, bool json);

/// The text with control characters (below 0x20, and 0x7F) written as \xNN.
std::string EscapeControls(std::string_view text);

} // namespace quorvane
