// The recording and playback paths of WaveFileStream against the bare codec:
// one hour of speech at 8000 Hz (90000 device blocks of 640 bytes), written
// with the header patched after every block, or read block by block.
// "audio_s_per_s" is seconds of audio handled per wall-clock second.

#include <benchmark/benchmark.h>
#include <gsm.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "diag/tracker.h"
#include "platform/text.h"

namespace {

constexpr int kSeconds = 3600;
constexpr int kBlocksPerSecond = 25;  // 8000 samples / 320
constexpr int kBlocks = kSeconds * kBlocksPerSecond;
constexpr int kDistinctBlocks = 10 * kBlocksPerSecond;  // ten seconds, repeated

// Ten seconds of a voice-like signal, 320 samples per block.
const std::vector<int16_t>& Speech() {
  static const std::vector<int16_t> samples = [] {
    std::vector<int16_t> s(static_cast<size_t>(kDistinctBlocks) * 320);
    uint32_t noise = 1;
    for (size_t i = 0; i < s.size(); ++i) {
      const double t = i / 8000.0;
      noise = noise * 1664525u + 1013904223u;
      const double v = (0.5 + 0.5 * std::sin(2 * M_PI * 1.3 * t)) *
                           (0.45 * std::sin(2 * M_PI * 220 * t) + 0.25 * std::sin(2 * M_PI * 710 * t)) +
                       (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0 * 0.05;
      s[i] = static_cast<int16_t>(std::lround(v * 32000));
    }
    return s;
  }();
  return samples;
}

const int16_t* Block(int n) { return Speech().data() + static_cast<size_t>(n % kDistinctBlocks) * 320; }

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/quillon-bench-" + std::to_string(getpid()) + "-" + name;
}

void ReportAudioRate(benchmark::State& state) {
  state.counters["audio_s_per_s"] =
      benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}

gsm NewWav49Codec() {
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  return codec;
}

void RecordHour(benchmark::State& state, uint32_t formatId) {
  const std::string path = TempPath("write.wav");
  for (auto _ : state) {
    audio::WaveFileStream stream;
    const uint32_t align = stream.SetFormat(formatId);
    if (!stream.Open(platform::FromUtf8(path), audio::kStreamWrite)) {
      state.SkipWithError("cannot create the file");
      break;
    }
    const uint32_t frames = align == 0 ? 320 : 640 / align;
    for (int n = 0; n < kBlocks; ++n) {
      if (!stream.Write(Block(n), frames)) {
        state.SkipWithError("write failed");
        break;
      }
    }
    stream.Close();
  }
  std::remove(path.c_str());
  ReportAudioRate(state);
}

void BM_GsmWriteStream(benchmark::State& state) { RecordHour(state, audio::kFormatGsm610); }

void BM_PcmWriteStream(benchmark::State& state) { RecordHour(state, audio::kFormatPcm8k16); }

void BM_GsmEncodeRaw(benchmark::State& state) {
  std::vector<uint8_t> out(static_cast<size_t>(kBlocks) * 65);
  for (auto _ : state) {
    gsm codec = NewWav49Codec();
    for (int n = 0; n < kBlocks; ++n) {
      uint8_t* pair = out.data() + static_cast<size_t>(n) * 65;
      gsm_signal frames[320];
      std::copy(Block(n), Block(n) + 320, frames);
      gsm_encode(codec, frames, pair);
      gsm_encode(codec, frames + 160, pair + 32);
    }
    gsm_destroy(codec);
    benchmark::DoNotOptimize(out.data());
  }
  ReportAudioRate(state);
}

// One hour of GSM pairs (ten seconds of speech repeated), in memory and as a file.
const std::vector<uint8_t>& HourOfPairs() {
  static const std::vector<uint8_t> pairs = [] {
    std::vector<uint8_t> distinct(static_cast<size_t>(kDistinctBlocks) * 65, 0);
    gsm codec = NewWav49Codec();
    for (int n = 0; n < kDistinctBlocks; ++n) {
      gsm_signal frames[320];
      std::copy(Block(n), Block(n) + 320, frames);
      gsm_encode(codec, frames, distinct.data() + n * 65);
      gsm_encode(codec, frames + 160, distinct.data() + n * 65 + 32);
    }
    gsm_destroy(codec);
    std::vector<uint8_t> all;
    for (int r = 0; r < kBlocks / kDistinctBlocks; ++r) all.insert(all.end(), distinct.begin(), distinct.end());
    return all;
  }();
  return pairs;
}

void BM_GsmReadStream(benchmark::State& state) {
  const std::string path = TempPath("read.wav");
  {
    // A recording's header in front of the pairs.
    audio::WaveFileStream writer;
    writer.SetFormat(audio::kFormatGsm610);
    writer.Open(platform::FromUtf8(path), audio::kStreamWrite);
    writer.Close();
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    const std::vector<uint8_t>& pairs = HourOfPairs();
    const uint32_t size = static_cast<uint32_t>(pairs.size());
    const uint32_t riff = 52 + size;
    std::fseek(f, 4, SEEK_SET);
    std::fwrite(&riff, 4, 1, f);
    std::fseek(f, 56, SEEK_SET);
    std::fwrite(&size, 4, 1, f);
    std::fseek(f, 60, SEEK_SET);
    std::fwrite(pairs.data(), 1, pairs.size(), f);
    std::fclose(f);
  }
  for (auto _ : state) {
    audio::WaveFileStream stream;
    if (!stream.Open(platform::FromUtf8(path), audio::kStreamRead)) {
      state.SkipWithError("cannot open the file");
      break;
    }
    int blocks = 0;
    for (;;) {
      uint32_t bytes = 640;
      uint8_t* block = stream.Read(&bytes, audio::kReadForward);
      if (block == nullptr) break;
      benchmark::DoNotOptimize(block[0]);
      diag::TrackedDelete(block);
      ++blocks;
    }
    if (blocks != kBlocks) state.SkipWithError("short read");
  }
  std::remove(path.c_str());
  ReportAudioRate(state);
}

void BM_GsmDecodeRaw(benchmark::State& state) {
  std::vector<uint8_t> pairs = HourOfPairs();
  std::vector<gsm_signal> out(640);
  for (auto _ : state) {
    gsm codec = NewWav49Codec();
    for (int n = 0; n < kBlocks; ++n) {
      uint8_t* pair = pairs.data() + static_cast<size_t>(n) * 65;
      gsm_decode(codec, pair, out.data());
      gsm_decode(codec, pair + 33, out.data() + 160);
      benchmark::DoNotOptimize(out.data());
    }
    gsm_destroy(codec);
  }
  ReportAudioRate(state);
}

}  // namespace

BENCHMARK(BM_GsmWriteStream)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsmEncodeRaw)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsmReadStream)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GsmDecodeRaw)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcmWriteStream)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
