#pragma once
// What /proc tells about a running process: its CPU time, its memory, the
// files it maps.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// User plus system time of every thread, ended ones included, in seconds; -1 when unreadable.
double CpuSeconds(pid_t pid);

// A "Vm...:" line of /proc/PID/status in KiB (VmHWM, VmRSS); -1 when absent.
long StatusKiB(pid_t pid, const std::string& field);

// The regular files the process maps (executable, libraries, fonts, caches).
std::vector<std::string> MappedFiles(pid_t pid);

// The file's size, or -1.
long long FileSize(const std::string& path);

}  // namespace bench
