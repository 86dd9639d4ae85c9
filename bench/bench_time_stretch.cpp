// Playback at another speed, the stretcher alone: device blocks of a minute
// of an 8000 Hz 16-bit voice (pulses through moving formants, in syllables)
// read through audio::TimeStretch as the output path reads them, at each
// speed, with Rubber Band's faster engine (what playback uses) and its finer
// one (short window). The counter "core %" is the share of one core that
// keeping up with the device in real time takes: the time per second of
// output heard, in CPU time.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/format_presets.h"
#include "audio/time_stretch.h"
#include "audio/wave_file_stream.h"
#include "diag/tracker.h"

namespace {

constexpr int kRate = 8000;
constexpr int kSeconds = 60;

// A minute of speech-like PCM, written once as the recorder writes it.
const std::string& SpeechFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string file = std::string(dir != nullptr ? dir : "/tmp") + "/quillon-bench-stretch-" +
                       std::to_string(getpid()) + ".wav";
    audio::WaveFileStream stream;
    stream.SetFormat(audio::kFormatPcm8k16);
    stream.Open(std::u16string(file.begin(), file.end()), audio::kStreamWrite);
    double phase = 0, y1 = 0, y2 = 0;
    int16_t block[320];
    for (int n = 0, b = 0; n < kRate * kSeconds; ++n) {
      const double t = static_cast<double>(n) / kRate, within = std::fmod(t / 0.22, 1.0);
      phase += (110 + 30 * std::sin(t)) / kRate;
      const double x = phase >= 1 ? (phase -= 1, 1.0) : 0.0;
      const double f = 500 + 400 * std::sin(2 * M_PI * 0.7 * t), r = 0.97,
                   a1 = 2 * r * std::cos(2 * M_PI * f / kRate);
      const double y = x + a1 * y1 - r * r * y2;
      y2 = y1;
      y1 = y;
      block[b++] = static_cast<int16_t>(std::clamp(y * std::sin(M_PI * within) * 3000, -32767.0, 32767.0));
      if (b == 320) {
        stream.Write(block, 320);
        b = 0;
      }
    }
    stream.Close();
    return file;
  }();
  // Gone at exit, after the benchmarks.
  static const struct Remover {
    const std::string& file;
    ~Remover() { std::remove(file.c_str()); }
  } remover{path};
  return path;
}

void BM_Stretch(benchmark::State& state) {
  const auto speed = static_cast<uint32_t>(state.range(0));
  const auto engine =
      state.range(1) != 0 ? audio::TimeStretch::Engine::Finer : audio::TimeStretch::Engine::Faster;
  uint64_t outputBytes = 0;
  double cpuSeconds = 0;
  const auto cpuNow = [] {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
  };
  for (auto _ : state) {
    state.PauseTiming();
    audio::WaveFileStream stream;
    stream.Open(std::u16string(SpeechFile().begin(), SpeechFile().end()), audio::kStreamRead);
    std::unique_ptr<audio::TimeStretch> stretch = audio::TimeStretch::Create(*stream.GetFormat(), engine);
    stretch->SetSpeed(speed);
    state.ResumeTiming();
    const double cpu0 = cpuNow();
    uint32_t size = 640;
    for (uint8_t* block; (block = stretch->Read(&stream, &size)) != nullptr; size = 640) {
      outputBytes += size;
      diag::TrackedDelete(block);
    }
    cpuSeconds += cpuNow() - cpu0;
  }
  const double heardSeconds = static_cast<double>(outputBytes) / (2 * kRate);
  state.counters["heard s"] = benchmark::Counter(heardSeconds / state.iterations());
  state.counters["core %"] = benchmark::Counter(100 * cpuSeconds / heardSeconds);
}

}  // namespace

BENCHMARK(BM_Stretch)
    ->ArgNames({"speed", "finer"})
    ->ArgsProduct({{50, 75, 125, 150, 200}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_MAIN();
