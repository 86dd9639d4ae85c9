#include "compare/timed_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace bench {

Measure TimedRun(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  Measure m;
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return m;
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  m.user = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
  m.sys = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  m.rssMiB = usage.ru_maxrss / 1024.0;
  return m;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Median(const std::vector<Measure>& runs, double Measure::*field) {
  std::vector<double> values;
  for (const Measure& m : runs) values.push_back(m.*field);
  return Median(values);
}

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/quillon-bench-" + std::to_string(getpid()) + "-" +
         name;
}

}  // namespace bench
