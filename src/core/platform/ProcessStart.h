#pragma once

#include <string>
#include <vector>

namespace quorvane {

/// Starts program (looked up on PATH when it holds no '/') with arguments, each passed on as one
/// argument exactly as its bytes stand and never through a shell. The new process reads standard
/// input from /dev/null and runs in a process group of its own with the signals' default actions,
/// so that it outlives this program and its Ctrl+C; directory, when not empty, is its working
/// folder. Returns at once: 0 once the program runs, else the errno that kept it from starting
/// (ENOENT: no such program). Nobody waits for the process: its exit is collected in the
/// background whenever it comes, so that it leaves no zombie behind. POSIX only.
int StartDetached(const std::string &program, const std::vector<std::string> &arguments,
                  const std::string &directory = {});

} // namespace quorvane
