#include "core/platform/ProcessStart.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char **environ;

namespace quorvane {
namespace {

class SpawnSettings {
public:
    SpawnSettings()
    {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// One small thread per child waits for its end; the thread that started the child never does.
void CollectExitInBackground(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the child stays a zombie until this program ends. Harmless.
    }
}

} // namespace

int StartDetached(const std::string &program, const std::vector<std::string> &arguments,
                  const std::string &directory)
{
    SpawnSettings settings;
    ::posix_spawn_file_actions_addopen(&settings.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!directory.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&settings.actions, directory.c_str());
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&settings.attributes, &none);
    ::posix_spawnattr_setsigdefault(&settings.attributes, &all);
    ::posix_spawnattr_setpgroup(&settings.attributes, 0);
    ::posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETSIGDEF |
                                                         POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    argv.reserve(words.size() + 1);
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int failed = ::posix_spawnp(&pid, program.c_str(), &settings.actions,
                                      &settings.attributes, argv.data(), environ);
    if (failed != 0) {
        return failed;
    }
    CollectExitInBackground(pid);
    return 0;
}

} // namespace quorvane
