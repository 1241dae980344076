#pragma once

// Runs a piece of the test in a child process: as an unprivileged user when the test runs as root
// (so that permissions apply to it), ended by SIGALRM at a time limit, so that a test can tell a
// clean status from a signal or a hang. POSIX only.

#include <chrono>
#include <cstdio>
#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::test {

struct ProcessResult {
    bool exited = false; // false: ended by a signal (SIGALRM: at the time limit)
    int exitCode = -1;
    int signal = 0;
};

/// Runs body in a forked child, as "nobody" when the test runs as root; the child's exit status
/// is what body returns. Whatever body prints to standard error shows in the test's output.
inline ProcessResult RunUnprivileged(const std::function<int()> &body,
                                     std::chrono::milliseconds limit)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(static_cast<unsigned>(std::chrono::ceil<std::chrono::seconds>(limit).count()));
        const bool dropped =
            ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 &&
                                 ::setuid(65534) == 0 /* nobody */);
        const int code = dropped ? body() : 125;
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const bool exited = WIFEXITED(status);
    return {exited, exited ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

} // namespace quorvane::test
