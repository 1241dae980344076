#pragma once

// Runs a piece of the test, or a program, in a child process: as an unprivileged user when the test
// runs as root (so that permissions apply to it), ended by SIGALRM at a time limit, so that a test
// can tell a clean status from a signal or a hang. POSIX only.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quorvane::test {

/// The user and group "nobody": what a root test drops to so that permissions apply to it.
inline constexpr uid_t kNobody = 65534;

struct ProcessResult {
    bool exited = false; // false: ended by a signal (SIGALRM: at the time limit)
    int exitCode = -1;
    int signal = 0;
    std::string out, err; // what RunProgram's program wrote
    std::chrono::steady_clock::duration took{};
};

/// Runs body in a forked child, as "nobody" when the test runs as root; the child's exit status
/// is what body returns. Whatever body prints to standard error shows in the test's output.
inline ProcessResult RunUnprivileged(const std::function<int()> &body,
                                     std::chrono::milliseconds limit)
{
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(static_cast<unsigned>(std::chrono::ceil<std::chrono::seconds>(limit).count()));
        const bool dropped = ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 &&
                                                  ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
        const int code = dropped ? body() : 125;
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProcessResult r;
    r.took = std::chrono::steady_clock::now() - start;
    r.exited = WIFEXITED(status);
    r.exitCode = r.exited ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return r;
}

/// Runs argv[0] with the arguments as RunUnprivileged runs a body, standard input from /dev/null,
/// and collects both output streams.
inline ProcessResult RunProgram(std::vector<std::string> argv, std::chrono::milliseconds limit)
{
    std::FILE *out = std::tmpfile(), *err = std::tmpfile();
    ProcessResult r = RunUnprivileged(
        [&] {
            std::vector<char *> args;
            for (std::string &a : argv) {
                args.push_back(a.data());
            }
            args.push_back(nullptr);
            ::dup2(::open("/dev/null", O_RDONLY), 0);
            ::dup2(::fileno(out), 1);
            ::dup2(::fileno(err), 2);
            ::execv(args[0], args.data());
            return 127;
        },
        limit);
    for (auto [file, text] : {std::pair{out, &r.out}, {err, &r.err}}) {
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) {
            *text += static_cast<char>(c);
        }
        std::fclose(file);
    }
    return r;
}

} // namespace quorvane::test
