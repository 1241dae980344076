#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

/// A native window handle, as the shell takes it for its own prompts; 0 for none.
using WindowHandle = std::uintptr_t;

/// Show commands the shell understands.
inline constexpr std::int32_t kShowHidden = 0;
inline constexpr std::int32_t kShowNormal = 1;
inline constexpr std::int32_t kShowDefault = 10;

/// The shell's answer codes that this program names; any answer above 32 (or below 0) is success.
inline constexpr std::int32_t kShellOutOfResources = 0;
inline constexpr std::int32_t kShellFileNotFound = 2;
inline constexpr std::int32_t kShellPathNotFound = 3;
inline constexpr std::int32_t kShellAccessDenied = 5;
inline constexpr std::int32_t kShellOutOfMemory = 8;
inline constexpr std::int32_t kShellNoAssociation = 31;
inline constexpr std::int32_t kShellLastFailureCode = 32;
/// What the desktop opener answers once it has the document.
inline constexpr std::int32_t kShellOpened = 42;

/// The failure the last ShellOpenDocument call left behind: number 0 and empty texts after a
/// call that succeeded.
struct ShellError {
    std::int32_t number = 0;
    std::string source;
    std::string description;
};

/// The shell call: owner window, operation, file, parameters, directory and show command, in that
/// order, as the Windows shell takes them. Returns the shell's answer code.
using ShellExecuteCall = std::function<std::intptr_t(
    WindowHandle owner, const std::string &operation, const std::string &file,
    const std::string &parameters, const std::string &directory, std::int32_t showCommand)>;

/// Asks the shell to perform operation ("open") on document, a file path or a web address. A
/// document whose upper-case text holds ".EXE" anywhere is shown hidden; with empty parameters
/// and directory the shell is asked for a normal window whatever showCommand says. Returns true
/// when the shell accepted the request; otherwise false, with the reason in LastShellError().
/// Never throws and never shows a message.
bool ShellOpenDocument(const std::string &document, std::int32_t showCommand,
                       const std::string &parameters, const std::string &defaultDirectory,
                       const std::string &operation, WindowHandle owner);

/// The same over a given shell call (tests record calls with it).
bool ShellOpenDocument(const std::string &document, std::int32_t showCommand,
                       const std::string &parameters, const std::string &defaultDirectory,
                       const std::string &operation, WindowHandle owner,
                       const ShellExecuteCall &shell);

/// The failure left by the last ShellOpenDocument call on this thread.
const ShellError &LastShellError();

/// The error record for a shell failure code (0 to 32): the number and message of the code's row,
/// and the source programStem + ".GShell".
ShellError ShellErrorFor(std::int32_t code, std::string_view programStem);

/// The running program's file name without its extension ("quorvane").
std::string ProgramFileStem();

/// This platform's shell call. On Linux it starts the desktop's default opener (xdg-open) with the
/// document as its one argument, never through a shell, and returns as soon as the opener runs,
/// as the shell returns once it has handed a document on: kShellOpened. What the shell would
/// refuse before starting anything is answered without starting the opener: 31 when there is no
/// opener or the operation is not "open" (or empty), 2 (3) when a document that is a file path
/// names no file (no folder), 5 when it cannot be reached. Parameters and the show command have no
/// meaning for the desktop opener and are not passed on. Nobody waits for the opener: it is left to
/// run, and its exit is collected in the background.
std::intptr_t PlatformShellExecute(WindowHandle owner, const std::string &operation,
                                   const std::string &file, const std::string &parameters,
                                   const std::string &directory, std::int32_t showCommand);

} // namespace quorvane
