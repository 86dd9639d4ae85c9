#pragma once
// What the benchmarks that time quillon-wav against another program share:
// running a command with its output dropped and measuring it, medians, the
// environment's knobs and temporary file names.

#include <string>
#include <vector>

namespace bench {

struct Measure {
  bool ran = false;  // started and exited with status 0
  double wall = 0, user = 0, sys = 0, rssMiB = 0;
};

// Runs the command; wall time from the start to the end of the child, the
// rest from the child's own resource usage.
Measure TimedRun(const std::vector<std::string>& command);
double Median(std::vector<double> values);
// The median of one field over the runs.
double Median(const std::vector<Measure>& runs, double Measure::*field);
// A positive number from the environment, or fallback.
int EnvInt(const char* name, int fallback);
// $TMPDIR (or /tmp) /quillon-bench-PID-NAME.
std::string TempPath(const char* name);

}  // namespace bench
