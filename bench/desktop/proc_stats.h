#pragma once
// What /proc tells about a running process: its CPU time, its memory, the
// files it maps.

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// User plus system time of every thread, ended ones included, in seconds; -1 when unreadable.
// It comes in clock ticks (10 ms): over 15 s, a step of 0.067 % of a core.
double CpuSeconds(pid_t pid);

// The process's CPU time at one moment: each live thread's time on a core,
// to the nanosecond (/proc/PID/task/TID/schedstat), and the tick count,
// which also keeps the threads that ended.
struct CpuSample {
  std::map<pid_t, unsigned long long> threadNs;
  double tickSeconds = -1;
};
CpuSample SampleCpu(pid_t pid);

// CPU seconds from one sample to a later one: to the nanosecond when every
// thread of the first is still there (a thread that ended took its time with
// it), else from the ticks. -1 when either is unreadable.
double CpuSecondsBetween(const CpuSample& from, const CpuSample& to);

// A "Vm...:" line of /proc/PID/status in KiB (VmHWM, VmRSS); -1 when absent.
long StatusKiB(pid_t pid, const std::string& field);

// The regular files the process maps (executable, libraries, fonts, caches).
std::vector<std::string> MappedFiles(pid_t pid);

// The file's size, or -1.
long long FileSize(const std::string& path);

}  // namespace bench
