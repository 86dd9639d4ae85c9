#include "sample_convert.h"

#include <algorithm>
#include <cmath>

namespace quillonwav {

void ToFloat(const uint8_t* bytes, size_t size, const audio::WaveFormatEx& format, std::vector<float>* out) {
  const uint32_t channels = std::max<uint32_t>(format.Channels, 1);
  const uint32_t width = std::max<uint32_t>(format.BlockAlign / channels, 1);
  out->clear();
  out->reserve(size / width);
  for (size_t at = 0; at + width <= size; at += width) {
    if (width == 1) {
      out->push_back((static_cast<int>(bytes[at]) - 128) / 128.0f);
      continue;
    }
    // The top two bytes (or fewer) carry what a 16-bit device would hear;
    // wider samples keep up to 24 significant bits.
    const uint32_t used = std::min<uint32_t>(width, 3);
    int32_t value = 0;
    for (uint32_t b = 0; b < used; ++b) value |= static_cast<int32_t>(bytes[at + width - used + b]) << (8 * b);
    const int shift = 32 - 8 * static_cast<int>(used);
    value = static_cast<int32_t>(static_cast<uint32_t>(value) << shift) >> shift;  // sign-extend
    out->push_back(static_cast<float>(value / std::ldexp(1.0, 8 * static_cast<int>(used) - 1)));
  }
}

void MixToMono(std::vector<float>* samples, uint32_t channels) {
  if (channels <= 1) return;
  const size_t frames = samples->size() / channels;
  for (size_t f = 0; f < frames; ++f) {
    float sum = 0;
    for (uint32_t c = 0; c < channels; ++c) sum += (*samples)[f * channels + c];
    (*samples)[f] = sum / static_cast<float>(channels);
  }
  samples->resize(frames);
}

void AppendFromFloat(const std::vector<float>& samples, uint16_t bits, std::vector<uint8_t>* out) {
  if (bits == 8) {
    for (float v : samples) {
      out->push_back(static_cast<uint8_t>(std::clamp<long>(std::lround(v * 128.0f) + 128, 0, 255)));
    }
    return;
  }
  for (float v : samples) {
    const long value = std::clamp<long>(std::lround(v * 32768.0f), -32768, 32767);
    const auto s = static_cast<uint16_t>(static_cast<int16_t>(value));
    out->push_back(static_cast<uint8_t>(s));
    out->push_back(static_cast<uint8_t>(s >> 8));
  }
}

Resampler::Resampler(uint32_t fromRate, uint32_t toRate) : fromRate_(fromRate), toRate_(toRate) {}

Resampler::~Resampler() {
  if (state_ != nullptr) src_delete(state_);
}

bool Resampler::Process(const std::vector<float>& in, bool last, std::vector<float>* out, std::string* error) {
  out->clear();
  if (fromRate_ == toRate_) {
    *out = in;
    return true;
  }
  if (fromRate_ == 0) {
    *error = "the sample rate is 0";
    return false;
  }
  if (state_ == nullptr) {
    int result = 0;
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &result);
    if (state_ == nullptr) {
      *error = src_strerror(result);
      return false;
    }
  }
  const double ratio = static_cast<double>(toRate_) / fromRate_;
  // Room for this piece and what the filter still holds; the loop takes the
  // rest when that is not enough.
  const size_t room = static_cast<size_t>(std::ceil(in.size() * ratio)) + 256;
  float piece[4096];
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(in.size());
  data.src_ratio = ratio;
  data.end_of_input = last ? 1 : 0;
  out->reserve(room);
  for (;;) {
    data.data_out = piece;
    data.output_frames = static_cast<long>(std::size(piece));
    if (const int result = src_process(state_, &data)) {
      *error = src_strerror(result);
      return false;
    }
    out->insert(out->end(), piece, piece + data.output_frames_gen);
    data.data_in += data.input_frames_used;
    data.input_frames -= data.input_frames_used;
    // Done once the input is taken and the converter gives nothing more.
    if (data.input_frames == 0 && data.output_frames_gen == 0) return true;
  }
}

SampleConverter::SampleConverter(const audio::WaveFormatEx& from, const audio::WaveFormatEx& to)
    : from_(from), to_(to), resampler_(from.SamplesPerSec, to.SamplesPerSec) {}

bool SampleConverter::Convert(const uint8_t* bytes, size_t size, bool last, std::vector<uint8_t>* out,
                              std::string* error) {
  ToFloat(bytes, size, from_, &samples_);
  MixToMono(&samples_, from_.Channels);
  if (!resampler_.Process(samples_, last, &resampled_, error)) return false;
  AppendFromFloat(resampled_, to_.BitsPerSample, out);
  return true;
}

}  // namespace quillonwav
