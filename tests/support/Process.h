#pragma once

// Runs a program, or a piece of the test itself, in a child process: with a time limit, optionally
// as an unprivileged user, so that a test can tell a clean status from a signal or a hang, and can
// see what a process without write permission gets. POSIX only.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvane::test {

/// The user and group "nobody": what a root test drops to so that permissions apply to it.
inline constexpr uid_t kNobody = 65534;

struct ProcessResult {
    bool exited = false; // false: ended by a signal, or killed at the time limit
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
    std::chrono::steady_clock::duration took{};
};

namespace detail {

inline std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool DropTo(uid_t uid)
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0;
}

inline ProcessResult Wait(pid_t pid, std::chrono::milliseconds limit,
                          std::chrono::steady_clock::time_point start)
{
    ProcessResult r;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (std::chrono::steady_clock::now() - start > limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    r.took = std::chrono::steady_clock::now() - start;
    r.exited = !r.timedOut && WIFEXITED(status);
    r.exitCode = r.exited ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return r;
}

} // namespace detail

/// Runs argv[0] with the arguments, standard input from /dev/null, and collects both output
/// streams. runAs: drop to that user first (only when running as root).
inline ProcessResult RunProcess(const std::vector<std::string> &argv,
                                std::chrono::milliseconds limit,
                                std::optional<uid_t> runAs = std::nullopt)
{
    char outPath[] = "/tmp/quorvane-out-XXXXXX";
    char errPath[] = "/tmp/quorvane-err-XXXXXX";
    const int outFd = ::mkstemp(outPath);
    const int errFd = ::mkstemp(errPath);
    if (runAs) {
        // The child writes these after it has given up root.
        const bool owned =
            ::fchown(outFd, *runAs, *runAs) == 0 && ::fchown(errFd, *runAs, *runAs) == 0;
        (void)owned; // if not, the child's output is lost, and the test says so by its checks
    }
    std::vector<char *> args;
    for (const std::string &a : argv) {
        args.push_back(const_cast<char *>(a.c_str()));
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        if (runAs && !detail::DropTo(*runAs)) {
            ::_exit(125);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    ProcessResult r = detail::Wait(pid, limit, start);
    r.out = detail::Slurp(outPath);
    r.err = detail::Slurp(errPath);
    ::unlink(outPath);
    ::unlink(errPath);
    return r;
}

/// Runs body in a forked child, as the unprivileged user when the test runs as root; the child's
/// exit status is what body returns. Whatever body prints to standard error shows in the test's
/// output.
inline ProcessResult RunUnprivileged(const std::function<int()> &body,
                                     std::chrono::milliseconds limit)
{
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && !detail::DropTo(kNobody)) {
            ::_exit(125);
        }
        const int code = body();
        std::fflush(nullptr);
        ::_exit(code);
    }
    return detail::Wait(pid, limit, start);
}

} // namespace quorvane::test
