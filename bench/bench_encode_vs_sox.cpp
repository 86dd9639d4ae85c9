// quillon-wav encode against sox on the same machine in the same run: one
// hour of 8000 Hz speech-like PCM (a pulse voice through moving formants, in
// syllables, phrases and pauses) to GSM 6.10, in paired runs whose order
// alternates. Prints wall, user and system time and peak resident memory of
// each run, the medians and the median of the per-pair time ratios, and
// whether both wrote the same bytes.
//
//   QUILLON_BENCH_HOURS  length of the input in hours (default 1)
//   QUILLON_BENCH_RUNS   pairs of runs (default 5)

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compare/speech_wav.h"
#include "compare/timed_run.h"

namespace {

using bench::Measure;
using bench::Median;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main() {
  const int hours = bench::EnvInt("QUILLON_BENCH_HOURS", 1), runs = bench::EnvInt("QUILLON_BENCH_RUNS", 5);
  const std::string input = bench::TempPath("speech.wav"), ours = bench::TempPath("ours.wav"),
                    theirs = bench::TempPath("sox.wav");
  if (!bench::WriteSpeech(input, hours * 3600)) {
    std::fprintf(stderr, "bench_encode_vs_sox: cannot write %s\n", input.c_str());
    return 1;
  }
  std::printf("quillon-wav encode --format 49 against sox -e gsm-full-rate: %d h of 8000 Hz speech, %d pairs of runs\n",
              hours, runs);
  std::printf("%4s  %23s  %23s  %5s\n", "run", "ours wall/user/sys, RSS", "sox wall/user/sys, RSS", "ratio");
  std::vector<Measure> ourRuns, soxRuns;
  std::vector<double> ratios;
  for (int r = 0; r < runs; ++r) {
    const auto runOurs = [&] {
      return bench::TimedRun({QUILLON_WAV_EXE, "encode", "--format", "49", input, ours});
    };
    const auto runSox = [&] { return bench::TimedRun({"sox", input, "-e", "gsm-full-rate", theirs}); };
    Measure a, b;
    if (r % 2 == 0) {
      a = runOurs();
      b = runSox();
    } else {
      b = runSox();
      a = runOurs();
    }
    if (!a.ran) {
      std::fprintf(stderr, "bench_encode_vs_sox: quillon-wav encode failed\n");
      return 1;
    }
    ourRuns.push_back(a);
    if (b.ran) {
      soxRuns.push_back(b);
      ratios.push_back(a.wall / b.wall);
      std::printf("%4d  %4.2f/%4.2f/%4.2f s %4.1f MiB  %4.2f/%4.2f/%4.2f s %4.1f MiB  %5.3f\n", r + 1, a.wall, a.user,
                  a.sys, a.rssMiB, b.wall, b.user, b.sys, b.rssMiB, a.wall / b.wall);
    } else {
      std::printf("%4d  %4.2f/%4.2f/%4.2f s %4.1f MiB  (sox did not run: scripts/install-deps installs it)\n", r + 1,
                  a.wall, a.user, a.sys, a.rssMiB);
    }
  }
  const auto median = [](const std::vector<Measure>& m, double Measure::*field) { return Median(m, field); };
  std::printf("median ours: %.2f s wall, %.2f s user, %.2f s sys, %.1f MiB peak resident\n",
              median(ourRuns, &Measure::wall), median(ourRuns, &Measure::user), median(ourRuns, &Measure::sys),
              median(ourRuns, &Measure::rssMiB));
  if (!soxRuns.empty()) {
    std::printf("median sox:  %.2f s wall, %.2f s user, %.2f s sys, %.1f MiB peak resident\n",
                median(soxRuns, &Measure::wall), median(soxRuns, &Measure::user), median(soxRuns, &Measure::sys),
                median(soxRuns, &Measure::rssMiB));
    std::printf("median ratio of wall times (ours / sox): %.3f; same bytes written: %s\n", Median(ratios),
                Contents(ours) == Contents(theirs) ? "yes" : "no");
  }
  std::remove(input.c_str());
  std::remove(ours.c_str());
  std::remove(theirs.c_str());
  return 0;
}
