#pragma once
// Signals and measures for the export and playback-speed suites: a voice
// made of syllables, tones, and the measures that tell a faithful copy from
// a broken one: the frequency of a tone (its spectral peak), and the correlation of two
// signals' loudness envelopes and of their band energies, frame by frame in
// time, so that signals at different rates compare directly.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace audiotest {

// Speech-like audio: syllables of about 0.2 s, glottal pulses at a falling
// pitch through three gliding formants, with pauses between phrases.
inline std::vector<int16_t> Voice(double seconds, uint32_t rate) {
  static const double kVowels[][3] = {
      {730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010}, {570, 840, 2410}};
  std::vector<int16_t> out(static_cast<size_t>(seconds * rate));
  double phase = 0, y1[3] = {}, y2[3] = {}, f[3] = {500, 1500, 2500};
  uint32_t seed = 7;
  for (size_t n = 0; n < out.size(); ++n) {
    const double t = static_cast<double>(n) / rate;
    const int syllable = static_cast<int>(t / 0.22);
    const double within = t / 0.22 - syllable;
    const bool pause = syllable % 7 == 6;
    const double* target = kVowels[(syllable * 5 + syllable / 3) % 4];
    for (int k = 0; k < 3; ++k) f[k] += (target[k] - f[k]) * (0.25 / (rate / 1000.0));
    const double pitch = 120 + 40 * std::sin(2 * M_PI * 0.3 * t) - 30 * within;
    phase += pitch / rate;
    double x = 0;
    if (phase >= 1) {
      phase -= 1;
      x = 1;
    }
    seed = seed * 1664525u + 1013904223u;
    double v = 0;
    for (int k = 0; k < 3; ++k) {
      const double r = std::exp(-M_PI * (60 + 40 * k) / rate), a1 = 2 * r * std::cos(2 * M_PI * f[k] / rate);
      const double y = (1 - r) * x + a1 * y1[k] - r * r * y2[k];
      y2[k] = y1[k];
      y1[k] = y;
      v += y * (k == 0 ? 1.0 : 0.5 / k);
    }
    const double envelope = pause ? 0.0 : std::pow(std::sin(M_PI * within), 2);
    const double noise = ((seed >> 8) / 16777216.0 - 0.5) * 0.002;
    out[n] = static_cast<int16_t>(std::clamp((v * envelope * 9 + noise) * 12000, -32767.0, 32767.0));
  }
  return out;
}

inline std::vector<int16_t> Tone(double seconds, uint32_t rate, double hz, double level = 0.5) {
  std::vector<int16_t> out(static_cast<size_t>(seconds * rate));
  for (size_t n = 0; n < out.size(); ++n)
    out[n] = static_cast<int16_t>(std::lround(level * 32767 * std::sin(2 * M_PI * hz * n / rate)));
  return out;
}

// The frequency of a tone: the peak of the spectrum of the samples from
// `from` to `to` (Hann window) within 15 % of `expected`, found in 1 Hz
// steps and then in 0.02 Hz steps around the best.
inline double ToneFrequency(const std::vector<float>& s, uint32_t rate, double expected, size_t from = 0,
                            size_t to = SIZE_MAX) {
  to = std::min(to, s.size());
  if (from + 2 >= to) return 0;
  const size_t n = to - from;
  std::vector<double> windowed(n);
  for (size_t i = 0; i < n; ++i) windowed[i] = s[from + i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1)));
  const auto power = [&windowed, rate](double hz) {
    const double w = 2 * std::cos(2 * M_PI * hz / rate);
    double q1 = 0, q2 = 0;
    for (double x : windowed) {
      const double q0 = w * q1 - q2 + x;
      q2 = q1;
      q1 = q0;
    }
    return q1 * q1 + q2 * q2 - w * q1 * q2;
  };
  const auto peak = [&power](double from, double to, double step) {
    double best = from, bestPower = -1;
    for (double hz = from; hz <= to; hz += step) {
      const double p = power(hz);
      if (p > bestPower) bestPower = p, best = hz;
    }
    return best;
  };
  const double coarse = peak(expected * 0.85, expected * 1.15, 1.0);
  return peak(coarse - 1.0, coarse + 1.0, 0.02);
}

inline std::vector<float> ToFloats(const std::vector<int16_t>& s) {
  std::vector<float> out(s.size());
  for (size_t i = 0; i < s.size(); ++i) out[i] = s[i] / 32768.0f;
  return out;
}

inline double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t n = std::min(a.size(), b.size());
  if (n < 2) return 0;
  double ma = 0, mb = 0;
  for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
  ma /= n;
  mb /= n;
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < n; ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Loudness in dB of each 20 ms frame (floor -60 dB).
inline std::vector<double> Envelope(const std::vector<float>& s, uint32_t rate) {
  const size_t frame = rate / 50;
  std::vector<double> out;
  for (size_t at = 0; at + frame <= s.size(); at += frame) {
    double sum = 0;
    for (size_t i = at; i < at + frame; ++i) sum += s[i] * s[i];
    out.push_back(10 * std::log10(std::max(sum / frame, 1e-6)));
  }
  return out;
}

// Energy in dB of each 32 ms frame in four bands up to 3.4 kHz (Goertzel
// filters at eight frequencies a band), frames of all bands in a row.
inline std::vector<double> BandEnergies(const std::vector<float>& s, uint32_t rate) {
  static const double kBands[][2] = {{200, 500}, {500, 1000}, {1000, 2000}, {2000, 3400}};
  const size_t frame = rate * 32 / 1000;
  std::vector<double> out;
  for (size_t at = 0; at + frame <= s.size(); at += frame) {
    for (const auto& band : kBands) {
      double energy = 0;
      for (int k = 0; k < 8; ++k) {
        const double hz = band[0] + (band[1] - band[0]) * (k + 0.5) / 8,
                     w = 2 * std::cos(2 * M_PI * hz / rate);
        double q1 = 0, q2 = 0;
        for (size_t i = at; i < at + frame; ++i) {
          const double q0 = w * q1 - q2 + s[i];
          q2 = q1;
          q1 = q0;
        }
        energy += q1 * q1 + q2 * q2 - w * q1 * q2;
      }
      out.push_back(10 * std::log10(std::max(energy / frame, 1e-6)));
    }
  }
  return out;
}

}  // namespace audiotest
