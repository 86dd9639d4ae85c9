#include "compare/speech_wav.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

namespace bench {
namespace {

constexpr int kRate = 8000;

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

}  // namespace

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
          for (int k = 0; k < 3; ++k)
            v += formants[k].Step(voice, f[k], 60 + 40 * k) * (k == 0 ? 1.0 : 0.5 / k);
          v *= envelope * 9;
        } else {
          v = hiss.Step(random() - 0.5, 3200, 900) * 0.6;
        }
        buffer.push_back(static_cast<int16_t>(std::clamp(v * 12000, -32767.0, 32767.0)));
        if (buffer.size() == buffer.capacity()) {
          out.write(reinterpret_cast<const char*>(buffer.data()),
                    static_cast<std::streamsize>(buffer.size() * 2));
          buffer.clear();
        }
      }
    }
    const int pause = static_cast<int>(kRate * (0.2 + random() * 0.6));
    for (int i = 0; i < pause && n < samples; ++i, ++n) {
      buffer.push_back(static_cast<int16_t>((random() - 0.5) * 40));  // room noise
      if (buffer.size() == buffer.capacity()) {
        out.write(reinterpret_cast<const char*>(buffer.data()),
                  static_cast<std::streamsize>(buffer.size() * 2));
        buffer.clear();
      }
    }
  }
  out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size() * 2));
  return static_cast<bool>(out);
}

}  // namespace bench
