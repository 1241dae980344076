// The desktop's default opener stands in for the Windows shell.
#include "core/platform/PathRules.h"
#include "core/platform/modShellExecute.h"

#include "core/platform/ProcessStart.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quorvane {
namespace {

constexpr const char *kOpener = "xdg-open";

// "scheme:" with a scheme of two or more characters: a web address or another URL, which the
// opener hands to the registered application. Anything else is a file path.
bool IsAddress(const std::string &document)
{
    const std::size_t colon = document.find(':');
    if (colon == std::string::npos || colon < 2 ||
        !std::isalpha(static_cast<unsigned char>(document[0]))) {
        return false;
    }
    return std::all_of(document.begin(), document.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) {
                           const auto u = static_cast<unsigned char>(c);
                           return std::isalnum(u) || c == '+' || c == '-' || c == '.';
                       });
}

// The shell answers for a file that is not there before any program is started.
std::intptr_t CheckFileDocument(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return kShellOpened;
    }
    switch (errno) {
    case EACCES:
        return kShellAccessDenied;
    case ENOTDIR:
        return kShellPathNotFound;
    case ENOENT: {
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        struct stat folderStat {};
        if (!folder.empty() && ::stat(folder.c_str(), &folderStat) != 0) {
            return kShellPathNotFound;
        }
        return kShellFileNotFound;
    }
    default:
        return kShellFileNotFound;
    }
}

} // namespace

std::intptr_t PlatformShellExecute(WindowHandle /*owner*/, const std::string &operation,
                                   const std::string &file, const std::string & /*parameters*/,
                                   const std::string &directory, std::int32_t /*showCommand*/)
{
    if (!operation.empty() && operation != "open") {
        return kShellNoAssociation; // the desktop opener knows no other verb
    }
    if (!directory.empty()) {
        struct stat st {};
        if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return kShellPathNotFound;
        }
    }
    std::string argument = file;
    if (!IsAddress(file)) {
        const bool relative = file.empty() || file.front() != '/';
        const std::string path = relative ? JoinPath(directory, file) : file;
        if (const std::intptr_t found = CheckFileDocument(path); found != kShellOpened) {
            return found;
        }
        if (file.front() == '-') {
            argument = "./" + file; // a document, never an option of the opener
        }
    }

    // The document travels as one argument: no shell ever sees it. The opener is left to run, as
    // the shell hands a document on and returns: some openers end at once, others run the browser
    // themselves, and either way the window must not wait for them.
    switch (StartDetached(kOpener, {argument}, directory)) {
    case 0:
        return kShellOpened;
    case ENOENT:
    case EACCES:
    case ENOEXEC:
        return kShellNoAssociation;
    case ENOMEM:
        return kShellOutOfMemory;
    default:
        return kShellOutOfResources; // E2BIG among others: an address longer than a command line
    }
}

std::string ProgramFileStem()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && !self.empty()) {
        return self.stem().string();
    }
    return std::filesystem::path(program_invocation_short_name).stem().string();
}

} // namespace quorvane
