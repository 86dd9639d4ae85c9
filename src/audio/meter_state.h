#pragma once
// The level meter's measured fields. The audio thread measures into them and
// the monitor thread draws from them, so everything both touch is atomic.
// The view's level meter control extends this struct with its drawing state.

#include <atomic>
#include <cstdint>

#include "audio/wave_format_ex.h"

namespace audio {

struct MeterState {
  // The device format, set when the device opens, null while it is closed.
  std::atomic<const WaveFormatEx*> MeterFormat{nullptr};
  // Mono: level in percent. Two channels: left in the low byte, right in the high byte.
  std::atomic<uint16_t> Level{0};
  // The last measured level reached Threshold (voice activation's decision).
  std::atomic<bool> AboveThreshold{false};
  // Percent, 0 to 100, copied from the voice-activation threshold slider.
  std::atomic<uint16_t> Threshold{0};
  // A level was measured and not drawn yet; drawing clears it.
  std::atomic<bool> Dirty{false};
};

}  // namespace audio
