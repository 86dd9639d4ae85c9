#pragma once
// Sample conversions for encode, chunk by chunk in constant memory:
// device-side PCM bytes to float, channels to mono, one rate to another
// (libsamplerate, its state kept from chunk to chunk), float back to 8 or 16
// bits. The scalings are exact, so a step that is not needed changes nothing.

#include <samplerate.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_format_ex.h"

namespace quillonwav {

// Interleaved samples in [-1, 1) from PCM bytes of the given format: 8-bit
// unsigned, or signed little-endian of BlockAlign / Channels bytes.
void ToFloat(const uint8_t* bytes, size_t size, const audio::WaveFormatEx& format, std::vector<float>* out);

// The mean of the channels of each frame, in place.
void MixToMono(std::vector<float>* samples, uint32_t channels);

// 8-bit unsigned or 16-bit signed little-endian, rounded and limited,
// appended to *out.
void AppendFromFloat(const std::vector<float>& samples, uint16_t bits, std::vector<uint8_t>* out);

// Mono samples from one rate to another, in pieces: the output is the same
// however the input is cut.
class Resampler {
 public:
  Resampler(uint32_t fromRate, uint32_t toRate);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Replaces *out with what `in` gives; `last` flushes what the converter
  // still holds. False with a message on failure.
  bool Process(const std::vector<float>& in, bool last, std::vector<float>* out, std::string* error);

 private:
  const uint32_t fromRate_;
  const uint32_t toRate_;
  SRC_STATE* state_ = nullptr;
};

// PCM of one device format to another: whole frames in, the target's bytes out.
class SampleConverter {
 public:
  SampleConverter(const audio::WaveFormatEx& from, const audio::WaveFormatEx& to);

  // Appends the conversion of `size` bytes (whole frames) to *out; `last`
  // marks the end of the input. False with a message on failure.
  bool Convert(const uint8_t* bytes, size_t size, bool last, std::vector<uint8_t>* out, std::string* error);

 private:
  const audio::WaveFormatEx from_;
  const audio::WaveFormatEx to_;
  Resampler resampler_;
  std::vector<float> samples_;
  std::vector<float> resampled_;
};

}  // namespace quillonwav
