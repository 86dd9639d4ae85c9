#pragma once
// The 18-byte wave format record that passes between streams, the device
// layer, the transport and the level meter, and the 20-byte GSM 6.10 format
// block of a WAV file. Both are byte-packed with the file's field order; the
// file code still writes them field by field, little-endian.

#include <cstdint>
#include <cstring>

#include "platform/wave_types.h"

namespace audio {

inline constexpr uint16_t kWaveFormatPcm = 0x0001;
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;

#pragma pack(push, 1)
struct WaveFormatEx {
  uint16_t FormatTag;
  uint16_t Channels;
  uint32_t SamplesPerSec;
  uint32_t AvgBytesPerSec;
  uint16_t BlockAlign;
  uint16_t BitsPerSample;
  uint16_t ExtraSize;  // bytes of format data that follow; 1 marks the GSM device format
};

struct GsmWaveFormat {
  WaveFormatEx Format;
  uint16_t SamplesPerBlock;
};
#pragma pack(pop)

static_assert(sizeof(WaveFormatEx) == 18, "WaveFormatEx must stay 18 bytes");
static_assert(sizeof(GsmWaveFormat) == 20, "GsmWaveFormat must stay 20 bytes");
static_assert(sizeof(WaveFormatEx) == sizeof(platform::WaveFormat), "same record as the device layer's");

// The device layer holds the same record under its own names.
inline platform::WaveFormat ToDeviceFormat(const WaveFormatEx& format) {
  platform::WaveFormat out;
  std::memcpy(&out, &format, sizeof out);
  return out;
}

inline WaveFormatEx FromDeviceFormat(const platform::WaveFormat& format) {
  WaveFormatEx out;
  std::memcpy(&out, &format, sizeof out);
  return out;
}

}  // namespace audio
