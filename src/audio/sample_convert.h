#pragma once
// Sample conversions in constant memory, chunk by chunk: device-side PCM
// bytes to float and back, channels to mono, one rate to another
// (libsamplerate, its state kept from chunk to chunk). The scalings are
// exact, so a step that is not needed changes nothing. Used by the export,
// by quillon-wav encode and by playback at another speed.

#include <samplerate.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_format_ex.h"

namespace audio {

// Bytes of one sample of one channel: BlockAlign / Channels, at least 1.
uint32_t SampleWidth(const WaveFormatEx& format);

// Interleaved samples in [-1, 1) from PCM bytes of the given format: 8-bit
// unsigned, or signed little-endian of SampleWidth bytes (wider samples keep
// their top 24 bits). Replaces *out; no allocation once *out has the room.
void ToFloat(const uint8_t* bytes, size_t size, const WaveFormatEx& format, std::vector<float>* out);

// The mean of the channels of each frame, in place.
void MixToMono(std::vector<float>* samples, uint32_t channels);

// Samples of `width` bytes (1: 8-bit unsigned; 2 to 4: signed
// little-endian), rounded and limited, appended to *out.
void AppendFromFloat(const float* samples, size_t count, uint32_t width, std::vector<uint8_t>* out);
inline void AppendFromFloat(const std::vector<float>& samples, uint32_t width, std::vector<uint8_t>* out) {
  AppendFromFloat(samples.data(), samples.size(), width, out);
}

// Interleaved samples of `channels` channels from one rate to another, in
// pieces: the output is the same however the input is cut.
class Resampler {
 public:
  Resampler(uint32_t fromRate, uint32_t toRate, uint32_t channels = 1);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Replaces *out with what `in` gives; `last` flushes what the converter
  // still holds. False with a message on failure.
  bool Process(const std::vector<float>& in, bool last, std::vector<float>* out, std::string* error);

 private:
  const uint32_t fromRate_;
  const uint32_t toRate_;
  const uint32_t channels_;
  SRC_STATE* state_ = nullptr;
};

// PCM of one device format to interleaved 16-bit samples at another rate,
// with the same channels or mixed to one: whole frames in. Where only the
// sample width differs (8 or 16 bits in, no rate or channel change) the
// samples are taken over exactly, without going through float.
class PcmTo16 {
 public:
  PcmTo16(const WaveFormatEx& from, uint32_t toRate, uint32_t toChannels);

  // Appends the conversion of `size` bytes to *out; `last` marks the end of
  // the input. False with a message on failure.
  bool Append(const uint8_t* bytes, size_t size, bool last, std::vector<int16_t>* out, std::string* error);

 private:
  const WaveFormatEx from_;
  const uint32_t toChannels_;
  const bool direct_;
  Resampler resampler_;
  std::vector<float> samples_;
  std::vector<float> resampled_;
};

// PCM of one device format to a mono one: whole frames in, the target's
// bytes out.
class SampleConverter {
 public:
  SampleConverter(const WaveFormatEx& from, const WaveFormatEx& to);

  // Appends the conversion of `size` bytes (whole frames) to *out; `last`
  // marks the end of the input. False with a message on failure.
  bool Convert(const uint8_t* bytes, size_t size, bool last, std::vector<uint8_t>* out, std::string* error);

 private:
  const WaveFormatEx from_;
  const WaveFormatEx to_;
  Resampler resampler_;
  std::vector<float> samples_;
  std::vector<float> resampled_;
};

}  // namespace audio
