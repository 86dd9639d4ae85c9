// quillon-wav encode against sox on the same machine in the same run: one
// hour of 8000 Hz speech-like PCM (a pulse voice through moving formants, in
// syllables, phrases and pauses) to GSM 6.10, in paired runs whose order
// alternates. Prints wall, user and system time and peak resident memory of
// each run, the medians and the median of the per-pair time ratios, and
// whether both wrote the same bytes.
//
//   QUILLON_BENCH_HOURS  length of the input in hours (default 1)
//   QUILLON_BENCH_RUNS   pairs of runs (default 5)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 8000;

struct Measure {
  bool ran = false;
  double wall = 0, user = 0, sys = 0, rssMiB = 0;
};

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/quillon-bench-" + std::to_string(getpid()) + "-" + name;
}

void PutLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// A two-pole resonator, the formant filters of the voice.
struct Resonator {
  double y1 = 0, y2 = 0;
  double Step(double x, double frequency, double bandwidth) {
    const double r = std::exp(-M_PI * bandwidth / kRate);
    const double a1 = 2 * r * std::cos(2 * M_PI * frequency / kRate), a2 = -r * r;
    const double y = (1 - r) * x + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

// Speech-like audio: phrases of 4 to 12 syllables at about 5 a second with a
// falling pitch, each syllable a vowel (glottal pulses through three
// formants) after a short noise consonant, and pauses between phrases.
bool WriteSpeech(const std::string& path, int seconds) {
  static const double kVowels[][3] = {{730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010},
                                      {570, 840, 2410},  {300, 870, 2240},  {660, 1720, 2410}};
  const uint64_t samples = static_cast<uint64_t>(seconds) * kRate;
  std::string header = "RIFF";
  PutLe(header, static_cast<uint32_t>(36 + samples * 2), 4);
  header += "WAVEfmt ";
  for (uint32_t v : {16u, 1u | (1u << 16), 8000u, 16000u, 2u | (16u << 16)}) PutLe(header, v, 4);
  header += "data";
  PutLe(header, static_cast<uint32_t>(samples * 2), 4);
  std::ofstream out(path, std::ios::binary);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));

  uint32_t seed = 12345;
  const auto random = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / 16777216.0;
  };
  Resonator formants[3], hiss;
  std::vector<int16_t> buffer;
  buffer.reserve(kRate);
  double phase = 0, f[3] = {500, 1500, 2500};
  uint64_t n = 0;
  while (n < samples) {
    const int syllables = 4 + static_cast<int>(random() * 9);
    const double basePitch = 100 + random() * 110;
    for (int s = 0; s < syllables && n < samples; ++s) {
      const double* target = kVowels[static_cast<int>(random() * 6)];
      const int length = static_cast<int>(kRate * (0.14 + random() * 0.12));
      const int consonant = random() < 0.6 ? static_cast<int>(kRate * 0.04) : 0;
      for (int i = 0; i < length && n < samples; ++i, ++n) {
        const double t = static_cast<double>(i) / length;
        const double pitch = basePitch * (1.1 - 0.25 * (s + t) / syllables);
        for (int k = 0; k < 3; ++k) f[k] += (target[k] - f[k]) * 0.002;  // glide to the vowel
        phase += pitch / kRate;
        double voice = 0;
        if (phase >= 1) {
          phase -= 1;
          voice = 1;
        }
        double v = 0;
        if (i >= consonant) {
          const double envelope = std::sin(M_PI * (i - consonant) / (length - consonant));
          for (int k = 0; k < 3; ++k) v += formants[k].Step(voice, f[k], 60 + 40 * k) * (k == 0 ? 1.0 : 0.5 / k);
          v *= envelope * 9;
        } else {
          v = hiss.Step(random() - 0.5, 3200, 900) * 0.6;
        }
        buffer.push_back(static_cast<int16_t>(std::clamp(v * 12000, -32767.0, 32767.0)));
        if (buffer.size() == buffer.capacity()) {
          out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size() * 2));
          buffer.clear();
        }
      }
    }
    const int pause = static_cast<int>(kRate * (0.2 + random() * 0.6));
    for (int i = 0; i < pause && n < samples; ++i, ++n) {
      buffer.push_back(static_cast<int16_t>((random() - 0.5) * 40));  // room noise
      if (buffer.size() == buffer.capacity()) {
        out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size() * 2));
        buffer.clear();
      }
    }
  }
  out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size() * 2));
  return static_cast<bool>(out);
}

// Runs the command with its output dropped; wall time from the start to the
// end of the child, the rest from the child's own resource usage.
Measure Run(const std::vector<std::string>& command) {
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

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main() {
  const int hours = EnvInt("QUILLON_BENCH_HOURS", 1), runs = EnvInt("QUILLON_BENCH_RUNS", 5);
  const std::string input = TempPath("speech.wav"), ours = TempPath("ours.wav"), theirs = TempPath("sox.wav");
  if (!WriteSpeech(input, hours * 3600)) {
    std::fprintf(stderr, "bench_encode_vs_sox: cannot write %s\n", input.c_str());
    return 1;
  }
  std::printf("quillon-wav encode --format 49 against sox -e gsm-full-rate: %d h of 8000 Hz speech, %d pairs of runs\n",
              hours, runs);
  std::printf("%4s  %23s  %23s  %5s\n", "run", "ours wall/user/sys, RSS", "sox wall/user/sys, RSS", "ratio");
  std::vector<Measure> ourRuns, soxRuns;
  std::vector<double> ratios;
  for (int r = 0; r < runs; ++r) {
    const auto runOurs = [&] { return Run({QUILLON_WAV_EXE, "encode", "--format", "49", input, ours}); };
    const auto runSox = [&] { return Run({"sox", input, "-e", "gsm-full-rate", theirs}); };
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
  const auto median = [](const std::vector<Measure>& m, double Measure::*field) {
    std::vector<double> values;
    for (const Measure& x : m) values.push_back(x.*field);
    return Median(values);
  };
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
