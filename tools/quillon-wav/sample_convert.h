#pragma once
// Sample conversions for encode: device-side PCM bytes to float, channels to
// mono, one rate to another (libsamplerate), float back to 8 or 16 bits.
// The scalings are exact, so a step that is not needed changes nothing.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_format_ex.h"

namespace quillonwav {

// Interleaved samples in [-1, 1) from PCM bytes of the given format: 8-bit
// unsigned, or signed little-endian of BlockAlign / Channels bytes.
std::vector<float> ToFloat(const std::vector<uint8_t>& bytes, const audio::WaveFormatEx& format);

// The mean of the channels of each frame.
std::vector<float> MixToMono(const std::vector<float>& interleaved, uint32_t channels);

// Mono samples from one rate to another; false (with a message) on failure.
bool Resample(const std::vector<float>& in, uint32_t fromRate, uint32_t toRate, std::vector<float>* out,
              std::string* error);

// 8-bit unsigned or 16-bit signed little-endian, rounded and limited.
std::vector<uint8_t> FromFloat(const std::vector<float>& samples, uint16_t bits);

}  // namespace quillonwav
