#pragma once
// Starting and ending the programs the desktop bench drives: Xvfb, the real
// program, xdotool. Plain fork and exec, so that the time of the start is
// ours to take.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace bench {

// The current environment with `overrides` ("NAME=value") put in and the
// names in `removed` taken out.
std::vector<std::string> Environment(const std::vector<std::string>& overrides,
                                     const std::vector<std::string>& removed);

// Starts `argv` with `env`, its output to `logPath` (or /dev/null when empty);
// `keepFd` stays open in the child. Returns the process id, or -1.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& logPath,
            int keepFd = -1);

// Runs `argv` to its end; true for exit status 0.
bool RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// SIGTERM, then waits up to `grace` for the end; SIGKILL after that. Returns
// the exit status, or -1 when the process had to be killed or was not ours.
int Terminate(pid_t pid, std::chrono::milliseconds grace);

// True while the process has not ended (reaps it when it has).
bool Alive(pid_t pid);

}  // namespace bench
