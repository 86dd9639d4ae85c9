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
  // Its channel count (0 while closed), for drawing on a thread that must not
  // look into a format its stream's owner may be deleting.
  std::atomic<uint16_t> MeterChannels{0};
  // Mono: level in percent. Two channels: left in the low byte, right in the high byte.
  std::atomic<uint16_t> Level{0};
  // The last measured level reached Threshold (voice activation's decision).
  std::atomic<bool> AboveThreshold{false};
  // Percent, 0 to 100, copied from the voice-activation threshold slider.
  std::atomic<uint16_t> Threshold{0};
  // A level was measured and not drawn yet; drawing clears it.
  std::atomic<bool> Dirty{false};
};

// Sets (or, with null, clears) the meter's device format and channel count.
inline void SetMeterFormat(MeterState& meter, const WaveFormatEx* format) {
  meter.MeterChannels = format != nullptr ? format->Channels : 0;
  meter.MeterFormat = format;
}

}  // namespace audio
