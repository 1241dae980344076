// The desktop's default opener stands in for the Windows shell.
#include "core/platform/PathRules.h"
#include "core/platform/modShellExecute.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char **environ;

namespace quorvane {
namespace {

constexpr const char *kOpener = "xdg-open";

// The opener's exit statuses, and the shell code each stands for.
constexpr int kOpenerSyntaxError = 1;
constexpr int kOpenerFileNotFound = 2;
constexpr int kOpenerNoMethod = 3;
constexpr int kOpenerActionFailed = 4;
constexpr int kCommandNotFound = 127; // a spawn that could not report a failed exec

std::intptr_t ShellCodeOfExit(int status)
{
    if (!WIFEXITED(status)) {
        return kShellOtherFailure;
    }
    switch (WEXITSTATUS(status)) {
    case 0:
        return kShellOpened;
    case kOpenerFileNotFound:
        return kShellFileNotFound;
    case kOpenerNoMethod:
    case kCommandNotFound:
        return kShellNoAssociation;
    case kOpenerSyntaxError:
    case kOpenerActionFailed:
    default:
        return kShellOtherFailure;
    }
}

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

class SpawnSettings {
public:
    SpawnSettings()
    {
        ::posix_spawn_file_actions_init(&m_actions);
        ::posix_spawnattr_init(&m_attributes);
    }
    ~SpawnSettings()
    {
        ::posix_spawn_file_actions_destroy(&m_actions);
        ::posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;

    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
};

// A still-running opener is waited for in the background, so that it leaves no zombie behind.
void ReapLater(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the process stays a zombie until this program ends. Harmless.
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

    SpawnSettings settings;
    ::posix_spawn_file_actions_addopen(&settings.m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!directory.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&settings.m_actions, directory.c_str());
    }
    // The opener and the program it starts outlive this one's signals and its Ctrl+C.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&settings.m_attributes, &none);
    ::posix_spawnattr_setsigdefault(&settings.m_attributes, &all);
    ::posix_spawnattr_setpgroup(&settings.m_attributes, 0);
    ::posix_spawnattr_setflags(&settings.m_attributes, POSIX_SPAWN_SETSIGMASK |
                                                           POSIX_SPAWN_SETSIGDEF |
                                                           POSIX_SPAWN_SETPGROUP);

    // The document travels as one argument: no shell ever sees it.
    std::vector<char *> argv = {const_cast<char *>(kOpener), argument.data(), nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, kOpener, &settings.m_actions, &settings.m_attributes,
                                       argv.data(), environ);
    if (spawned != 0) {
        if (spawned == ENOENT || spawned == EACCES || spawned == ENOEXEC) {
            return kShellNoAssociation;
        }
        return spawned == ENOMEM ? kShellOutOfMemory : kShellOutOfResources;
    }

    const auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return ShellCodeOfExit(status);
        }
        if (done < 0 && errno != EINTR) {
            return kShellOpened; // someone else reaped it; it was started
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ReapLater(pid);
            return kShellOpened;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
