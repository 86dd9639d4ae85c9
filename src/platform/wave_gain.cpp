#include "platform/wave_gain.h"

#include <cstring>

namespace platform {

namespace {

int32_t Scale(int32_t sample, uint32_t level) {
  return static_cast<int32_t>(static_cast<int64_t>(sample) * level / 0xFFFF);
}

}  // namespace

void ApplyWaveGain(uint8_t* data, size_t bytes, const WaveFormat& format, uint32_t volume) {
  if (volume == 0xFFFFFFFFu || format.blockAlign == 0) return;
  const uint32_t left = volume & 0xFFFF;
  const uint32_t right = volume >> 16;
  const unsigned channels = format.channels == 2 ? 2 : 1;
  const size_t frames = bytes / format.blockAlign;
  if (format.bitsPerSample == 8) {
    for (size_t f = 0; f < frames; ++f) {
      for (unsigned c = 0; c < channels; ++c) {
        uint8_t& s = data[f * channels + c];
        s = static_cast<uint8_t>(Scale(static_cast<int32_t>(s) - 128, c == 0 ? left : right) + 128);
      }
    }
  } else if (format.bitsPerSample == 16) {
    for (size_t f = 0; f < frames; ++f) {
      for (unsigned c = 0; c < channels; ++c) {
        uint8_t* p = data + (f * channels + c) * 2;
        int16_t s;
        std::memcpy(&s, p, 2);
        s = static_cast<int16_t>(Scale(s, c == 0 ? left : right));
        std::memcpy(p, &s, 2);
      }
    }
  }
}

}  // namespace platform
