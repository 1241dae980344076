#include "core/platform/modShellExecute.h"

#include "core/text/AsciiCase.h"

namespace quorvane {
namespace {

// 0x80040418 taken as a signed 32-bit number: the error number of a shell code that has no fixed
// number of its own is this plus the code.
constexpr std::int32_t kShellErrorBase = -2147220456;

constexpr std::string_view kSourceSuffix = ".GShell";

struct ShellErrorRow {
    std::int32_t code;
    std::int32_t number; // 0: the default number, kShellErrorBase + code
    std::string_view message;
};

constexpr ShellErrorRow kShellErrorRows[] = {
    {0, 7, "Out of memory"},
    {2, 53, "File not found"},
    {3, 76, "Path not found"},
    {5, 75, "Path/file access error"},
    {8, 7, "Out of memory"},
    {11, 0, "The executable file is invalid or corrupt"},
    {26, 75, "A sharing violation occurred."},
    {27, 0, "This file type does not have a valid file association."},
    {28, 286, "The file could not be opened due to time out. Please try again in a moment."},
    {29, 285,
     "The file could not be opened because the DDE transaction failed. Please try again in a "
     "moment."},
    {30, 285,
     "The file could not be opened because the target application is busy. Please try again in "
     "a moment."},
    {31, 0, "No application is associated with this file type."},
    {32, 48, "The specified dynamic-link library was not found."},
};
// Word for word as this message has always read, doubled word included.
constexpr std::string_view kOtherFailureMessage =
    "An error occurred occurred whilst trying to open or print the selected file.";

thread_local ShellError t_lastShellError;

bool HoldsExe(const std::string &document)
{
    return ToAsciiLower(document).find(".exe") != std::string::npos;
}

} // namespace

ShellError ShellErrorFor(std::int32_t code, std::string_view programStem)
{
    ShellError error;
    // Computed in 64 bits: codes from 0 to 32 keep it in range, and it stays defined for any code.
    error.number = static_cast<std::int32_t>(std::int64_t{kShellErrorBase} + code);
    error.description = kOtherFailureMessage;
    for (const ShellErrorRow &row : kShellErrorRows) {
        if (row.code == code) {
            if (row.number != 0) {
                error.number = row.number;
            }
            error.description = row.message;
            break;
        }
    }
    error.source = std::string(programStem) + std::string(kSourceSuffix);
    return error;
}

const ShellError &LastShellError()
{
    return t_lastShellError;
}

bool ShellOpenDocument(const std::string &document, std::int32_t showCommand,
                       const std::string &parameters, const std::string &defaultDirectory,
                       const std::string &operation, WindowHandle owner,
                       const ShellExecuteCall &shell)
{
    try {
        t_lastShellError = {};
        if (HoldsExe(document)) {
            showCommand = kShowHidden;
        }
        // A call that cannot be made counts as the shell's "out of resources".
        std::intptr_t result = kShellOutOfResources;
        try {
            if (parameters.empty() && defaultDirectory.empty()) {
                result =
                    shell(owner, operation, document, std::string(), std::string(), kShowNormal);
            } else {
                result =
                    shell(owner, operation, document, parameters, defaultDirectory, showCommand);
            }
        } catch (...) {
            result = kShellOutOfResources;
        }
        if (result < 0 || result > kShellLastFailureCode) {
            return true;
        }
        t_lastShellError = ShellErrorFor(static_cast<std::int32_t>(result), ProgramFileStem());
        return false;
    } catch (...) {
        // Only running out of memory gets here; the record may be incomplete, the answer is not.
        return false;
    }
}

bool ShellOpenDocument(const std::string &document, std::int32_t showCommand,
                       const std::string &parameters, const std::string &defaultDirectory,
                       const std::string &operation, WindowHandle owner)
{
    return ShellOpenDocument(document, showCommand, parameters, defaultDirectory, operation, owner,
                             PlatformShellExecute);
}

} // namespace quorvane
