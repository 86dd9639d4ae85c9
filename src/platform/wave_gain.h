#pragma once
// The output level as a gain on PCM samples, applied by the device layer
// before samples reach a backend.

#include <cstddef>
#include <cstdint>

#include "platform/wave_types.h"

namespace platform {

// Scales whole frames in place: the low 16 bits of `volume` are the left (or
// only) channel's level, the high 16 bits the right's; 0xFFFF leaves samples
// untouched. 8-bit samples are unsigned around 128, 16-bit ones signed.
void ApplyWaveGain(uint8_t* data, size_t bytes, const WaveFormat& format, uint32_t volume);

}  // namespace platform
