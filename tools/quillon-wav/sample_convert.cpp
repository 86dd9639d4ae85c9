#include "sample_convert.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace quillonwav {

std::vector<float> ToFloat(const std::vector<uint8_t>& bytes, const audio::WaveFormatEx& format) {
  const uint32_t channels = std::max<uint32_t>(format.Channels, 1);
  const uint32_t width = std::max<uint32_t>(format.BlockAlign / channels, 1);
  std::vector<float> out;
  out.reserve(bytes.size() / width);
  for (size_t at = 0; at + width <= bytes.size(); at += width) {
    if (width == 1) {
      out.push_back((static_cast<int>(bytes[at]) - 128) / 128.0f);
      continue;
    }
    // The top two bytes (or fewer) carry what a 16-bit device would hear;
    // wider samples keep up to 24 significant bits.
    const uint32_t used = std::min<uint32_t>(width, 3);
    int32_t value = 0;
    for (uint32_t b = 0; b < used; ++b) value |= static_cast<int32_t>(bytes[at + width - used + b]) << (8 * b);
    const int shift = 32 - 8 * static_cast<int>(used);
    value = static_cast<int32_t>(static_cast<uint32_t>(value) << shift) >> shift;  // sign-extend
    out.push_back(static_cast<float>(value / std::ldexp(1.0, 8 * static_cast<int>(used) - 1)));
  }
  return out;
}

std::vector<float> MixToMono(const std::vector<float>& interleaved, uint32_t channels) {
  if (channels <= 1) return interleaved;
  std::vector<float> mono(interleaved.size() / channels);
  for (size_t f = 0; f < mono.size(); ++f) {
    float sum = 0;
    for (uint32_t c = 0; c < channels; ++c) sum += interleaved[f * channels + c];
    mono[f] = sum / static_cast<float>(channels);
  }
  return mono;
}

bool Resample(const std::vector<float>& in, uint32_t fromRate, uint32_t toRate, std::vector<float>* out,
              std::string* error) {
  if (fromRate == toRate || in.empty()) {
    *out = in;
    return true;
  }
  if (fromRate == 0) {
    *error = "the sample rate is 0";
    return false;
  }
  const double ratio = static_cast<double>(toRate) / fromRate;
  out->assign(static_cast<size_t>(std::ceil(in.size() * ratio)) + 16, 0.0f);
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(in.size());
  data.data_out = out->data();
  data.output_frames = static_cast<long>(out->size());
  data.src_ratio = ratio;
  const int result = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
  if (result != 0) {
    *error = src_strerror(result);
    return false;
  }
  out->resize(static_cast<size_t>(data.output_frames_gen));
  return true;
}

std::vector<uint8_t> FromFloat(const std::vector<float>& samples, uint16_t bits) {
  std::vector<uint8_t> out;
  if (bits == 8) {
    out.reserve(samples.size());
    for (float v : samples) out.push_back(static_cast<uint8_t>(std::clamp<long>(std::lround(v * 128.0f) + 128, 0, 255)));
    return out;
  }
  out.reserve(samples.size() * 2);
  for (float v : samples) {
    const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::clamp<long>(std::lround(v * 32768.0f), -32768, 32767)));
    out.push_back(static_cast<uint8_t>(s));
    out.push_back(static_cast<uint8_t>(s >> 8));
  }
  return out;
}

}  // namespace quillonwav
