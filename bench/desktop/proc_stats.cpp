#include "desktop/proc_stats.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace bench {

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return -1;
  // The name in parentheses may hold spaces; the fields count from after it.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

CpuSample SampleCpu(pid_t pid) {
  CpuSample sample;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* dir = opendir(tasks.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
      unsigned long long ns = 0;
      if (in >> ns) sample.threadNs[static_cast<pid_t>(std::stol(entry->d_name))] = ns;
    }
    closedir(dir);
  }
  sample.tickSeconds = CpuSeconds(pid);
  return sample;
}

double CpuSecondsBetween(const CpuSample& from, const CpuSample& to) {
  if (from.tickSeconds < 0 || to.tickSeconds < 0) return -1;
  unsigned long long ns = 0;
  for (const auto& [tid, before] : from.threadNs) {
    const auto after = to.threadNs.find(tid);
    if (after == to.threadNs.end() || after->second < before) return to.tickSeconds - from.tickSeconds;
    ns += after->second - before;
  }
  // Threads started in between: all their time is inside the stretch.
  for (const auto& [tid, after] : to.threadNs) {
    if (!from.threadNs.count(tid)) ns += after;
  }
  return from.threadNs.empty() ? to.tickSeconds - from.tickSeconds : static_cast<double>(ns) / 1e9;
}

long StatusKiB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

std::vector<std::string> MappedFiles(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
  std::vector<std::string> files;
  std::string line;
  while (std::getline(in, line)) {
    const size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::string path = line.substr(slash);
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}

long long FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace bench
