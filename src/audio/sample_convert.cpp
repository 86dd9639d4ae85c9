#include "audio/sample_convert.h"

#include <algorithm>
#include <cmath>

namespace audio {

uint32_t SampleWidth(const WaveFormatEx& format) {
  const uint32_t channels = std::max<uint32_t>(format.Channels, 1);
  return std::max<uint32_t>(format.BlockAlign / channels, 1);
}

void ToFloat(const uint8_t* bytes, size_t size, const WaveFormatEx& format, std::vector<float>* out) {
  const uint32_t width = SampleWidth(format);
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
    for (uint32_t b = 0; b < used; ++b)
      value |= static_cast<int32_t>(bytes[at + width - used + b]) << (8 * b);
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

void AppendFromFloat(const float* samples, size_t count, uint32_t width, std::vector<uint8_t>* out) {
  if (width <= 1) {
    for (size_t i = 0; i < count; ++i) {
      out->push_back(static_cast<uint8_t>(std::clamp<long>(std::lround(samples[i] * 128.0f) + 128, 0, 255)));
    }
    return;
  }
  width = std::min<uint32_t>(width, 4);
  if (width == 2) {
    for (size_t i = 0; i < count; ++i) {
      const long value = std::clamp<long>(std::lround(samples[i] * 32768.0f), -32768, 32767);
      const auto s = static_cast<uint16_t>(static_cast<int16_t>(value));
      out->push_back(static_cast<uint8_t>(s));
      out->push_back(static_cast<uint8_t>(s >> 8));
    }
    return;
  }
  // 24 and 32 bits: the value at 24 bits, the lowest byte of 32 left 0, as ToFloat reads them.
  for (size_t i = 0; i < count; ++i) {
    const long value =
        std::clamp<long>(std::lround(static_cast<double>(samples[i]) * 8388608.0), -8388608, 8388607);
    const auto s = static_cast<uint32_t>(static_cast<int32_t>(value));
    if (width == 4) out->push_back(0);
    out->push_back(static_cast<uint8_t>(s));
    out->push_back(static_cast<uint8_t>(s >> 8));
    out->push_back(static_cast<uint8_t>(s >> 16));
  }
}

Resampler::Resampler(uint32_t fromRate, uint32_t toRate, uint32_t channels)
    : fromRate_(fromRate), toRate_(toRate), channels_(std::max<uint32_t>(channels, 1)) {}

Resampler::~Resampler() {
  if (state_ != nullptr) src_delete(state_);
}

bool Resampler::Process(const std::vector<float>& in, bool last, std::vector<float>* out,
                        std::string* error) {
  out->clear();
  if (fromRate_ == toRate_) {
    *out = in;
    return true;
  }
  if (fromRate_ == 0 || toRate_ == 0) {
    *error = "the sample rate is 0";
    return false;
  }
  if (state_ == nullptr) {
    int result = 0;
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, static_cast<int>(channels_), &result);
    if (state_ == nullptr) {
      *error = src_strerror(result);
      return false;
    }
  }
  const double ratio = static_cast<double>(toRate_) / fromRate_;
  const size_t frames = in.size() / channels_;
  // Room for this piece and what the filter still holds; the loop takes the
  // rest when that is not enough.
  out->reserve((static_cast<size_t>(std::ceil(frames * ratio)) + 256) * channels_);
  float piece[4096];
  const long pieceFrames = static_cast<long>(std::size(piece) / channels_);
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(frames);
  data.src_ratio = ratio;
  data.end_of_input = last ? 1 : 0;
  for (;;) {
    data.data_out = piece;
    data.output_frames = pieceFrames;
    if (const int result = src_process(state_, &data)) {
      *error = src_strerror(result);
      return false;
    }
    out->insert(out->end(), piece, piece + data.output_frames_gen * channels_);
    data.data_in += data.input_frames_used * channels_;
    data.input_frames -= data.input_frames_used;
    // Done once the input is taken and the converter gives nothing more.
    if (data.input_frames == 0 && data.output_frames_gen == 0) return true;
  }
}

PcmTo16::PcmTo16(const WaveFormatEx& from, uint32_t toRate, uint32_t toChannels)
    : from_(from),
      toChannels_(toChannels),
      direct_(from.SamplesPerSec == toRate && std::max<uint32_t>(from.Channels, 1) == toChannels &&
              SampleWidth(from) <= 2),
      resampler_(from.SamplesPerSec, toRate, toChannels) {}

bool PcmTo16::Append(const uint8_t* bytes, size_t size, bool last, std::vector<int16_t>* out,
                     std::string* error) {
  if (direct_) {
    if (SampleWidth(from_) == 1) {
      for (size_t i = 0; i < size; ++i) out->push_back(static_cast<int16_t>((bytes[i] - 128) * 256));
    } else {
      for (size_t i = 0; i + 1 < size; i += 2) {
        out->push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8)));
      }
    }
    return true;
  }
  ToFloat(bytes, size, from_, &samples_);
  if (std::max<uint32_t>(from_.Channels, 1) != toChannels_) MixToMono(&samples_, from_.Channels);
  if (!resampler_.Process(samples_, last, &resampled_, error)) return false;
  for (const float v : resampled_) {
    out->push_back(static_cast<int16_t>(std::clamp<long>(std::lround(v * 32768.0f), -32768, 32767)));
  }
  return true;
}

SampleConverter::SampleConverter(const WaveFormatEx& from, const WaveFormatEx& to)
    : from_(from), to_(to), resampler_(from.SamplesPerSec, to.SamplesPerSec) {}

bool SampleConverter::Convert(const uint8_t* bytes, size_t size, bool last, std::vector<uint8_t>* out,
                              std::string* error) {
  ToFloat(bytes, size, from_, &samples_);
  MixToMono(&samples_, from_.Channels);
  if (!resampler_.Process(samples_, last, &resampled_, error)) return false;
  AppendFromFloat(resampled_, SampleWidth(to_), out);
  return true;
}

}  // namespace audio
