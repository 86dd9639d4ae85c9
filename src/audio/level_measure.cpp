#include "audio/level_measure.h"

#include <cstdlib>
#include <cstring>

#include "audio/mul_div_round.h"

namespace audio {

namespace {

int16_t SampleAt(const uint8_t* bytes, uint32_t offset) {
  int16_t sample;
  std::memcpy(&sample, bytes + offset, sizeof sample);
  return sample;
}

// mean = sum / n + 0.5, truncated.
int32_t RoundedMean(uint64_t sum, uint32_t n) {
  if (n == 0) return 0;
  return static_cast<int32_t>(static_cast<double>(sum) / n + 0.5);
}

uint16_t MeasureMono(const WaveFormatEx& format, const uint8_t* bytes, uint32_t size, uint32_t n) {
  if (format.BitsPerSample == 8) {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) sum += static_cast<uint32_t>(std::abs(bytes[i] - 128));
    return static_cast<uint16_t>(MulDivRound(RoundedMean(sum, size), 100, 128));
  }
  if (format.BitsPerSample == 16) {
    // Every second sample against all n samples: half the mean, hence the
    // half-scale divisor. A format whose block align lies about the width
    // must not lead the loop past the buffer.
    uint64_t sum = 0;
    for (uint32_t i = 0; i < n && 2 * i + 2 <= size; i += 2) sum += static_cast<uint32_t>(std::abs(SampleAt(bytes, 2 * i)));
    return static_cast<uint16_t>(MulDivRound(RoundedMean(sum, n), 100, 16383));
  }
  return 0;
}

// Left level in the low byte, right level in the high byte.
uint16_t MeasureStereo(const WaveFormatEx& format, const uint8_t* bytes, uint32_t size, uint32_t n, uint32_t step) {
  uint64_t left = 0;
  uint64_t right = 0;
  int32_t scale;
  if (format.BitsPerSample == 8) {
    for (uint32_t i = 0; i < n && i + 2 <= size; i += step) {
      left += static_cast<uint32_t>(std::abs(bytes[i] - 128));
      right += static_cast<uint32_t>(std::abs(bytes[i + 1] - 128));
    }
    scale = 32;
  } else if (format.BitsPerSample == 16) {
    for (uint32_t i = 0; i < n && 2 * i + 4 <= size; i += step) {
      left += static_cast<uint32_t>(std::abs(SampleAt(bytes, 2 * i)));
      right += static_cast<uint32_t>(std::abs(SampleAt(bytes, 2 * i + 2)));
    }
    scale = 4095;
  } else {
    return 0;
  }
  const double reciprocal = n == 0 ? 0.0 : 1.0 / n;
  const auto leftMean = static_cast<int32_t>(static_cast<double>(left) * reciprocal + 0.5);
  const auto rightMean = static_cast<int32_t>(static_cast<double>(right) * reciprocal + 0.5);
  const int32_t leftLevel = MulDivRound(leftMean, 100, scale);
  const int32_t rightLevel = MulDivRound(rightMean, 100, scale);
  return static_cast<uint16_t>(rightLevel * 256 + (leftLevel & 0xFF));
}

}  // namespace

void AmplifyBuffer(const WaveFormatEx* format, void* data, uint32_t bytes) {
  if (format == nullptr || data == nullptr) return;
  auto* p = static_cast<uint8_t*>(data);
  if (format->BitsPerSample > 8) {
    for (uint32_t i = 0; i + 2 <= bytes; i += 2) {
      int32_t v = (SampleAt(p, i) * 750 + 128) >> 8;
      if (v > 32767) v = 32767;
      if (v < -32767) v = -32767;
      const auto out = static_cast<int16_t>(v);
      std::memcpy(p + i, &out, sizeof out);
    }
    return;
  }
  for (uint32_t i = 0; i < bytes; ++i) {
    int32_t v = (p[i] * 1000 + (257 - 1000) * 128) >> 8;
    if (v > 255) v = 255;
    if (v < 0) v = 0;
    p[i] = static_cast<uint8_t>(v);
  }
}

void MeasureLevel(MeterState* meter, const void* data, uint32_t bytes) {
  if (meter == nullptr || data == nullptr || bytes == 0) return;
  const WaveFormatEx* format = meter->MeterFormat.load();
  if (format == nullptr) return;

  const auto* p = static_cast<const uint8_t*>(data);
  const uint32_t channels = format->Channels;
  const uint32_t step = channels * format->BlockAlign;
  const uint32_t n = step == 0 ? 0 : bytes / step;

  uint16_t level = 0;
  bool voice = false;
  if (channels == 1) {
    level = MeasureMono(*format, p, bytes, n);
    voice = level >= meter->Threshold.load();
  } else if (channels == 2) {
    level = MeasureStereo(*format, p, bytes, n, step);
    voice = ((level & 0xFF) + (level >> 8)) / 2 >= meter->Threshold.load();
  }
  // Voice activation decides on every buffer's own level, also when buffers
  // come faster than the meter draws (several at once from the sound server,
  // a backlog after a slow write); the meter shows a level once it has drawn
  // the one before.
  meter->AboveThreshold.store(voice);
  if (meter->Dirty.load()) return;
  meter->Level.store(level);
  meter->Dirty.store(true);
}

}  // namespace audio
