#pragma once
// The two steps applied to every device buffer: optional amplification and
// the level measurement that feeds the meter and voice activation.

#include <cstdint>

#include "audio/meter_state.h"
#include "audio/wave_format_ex.h"

namespace audio {

// In place. Wider than 8 bits: 16-bit samples times 750/256, limited to
// -32767..32767. Otherwise 8-bit unsigned around 128, times 1000/256,
// limited to 0..255. Nothing happens without a format.
void AmplifyBuffer(const WaveFormatEx* format, void* data, uint32_t bytes);

// Measures the buffer into meter->Level and AboveThreshold and sets Dirty.
// Skipped for an empty buffer, a closed device (no MeterFormat) and while the
// previous level has not been drawn (Dirty still set).
void MeasureLevel(MeterState* meter, const void* data, uint32_t bytes);

}  // namespace audio
