#pragma once
// What a waveform input device can record, as the standard capability flags:
// one bit per rate (11.025, 22.05 and 44.1 kHz), channel count and sample
// width. Nothing is opened: each flag is a format query to the device.

#include <cstdint>

#include "platform/wave_types.h"

namespace platform {

inline constexpr uint32_t kWaveFormat1M08 = 0x00000001;  // 11.025 kHz, mono, 8-bit
inline constexpr uint32_t kWaveFormat1S08 = 0x00000002;  // 11.025 kHz, stereo, 8-bit
inline constexpr uint32_t kWaveFormat1M16 = 0x00000004;  // 11.025 kHz, mono, 16-bit
inline constexpr uint32_t kWaveFormat1S16 = 0x00000008;  // 11.025 kHz, stereo, 16-bit
inline constexpr uint32_t kWaveFormat2M08 = 0x00000010;  // 22.05 kHz, mono, 8-bit
inline constexpr uint32_t kWaveFormat2S08 = 0x00000020;
inline constexpr uint32_t kWaveFormat2M16 = 0x00000040;
inline constexpr uint32_t kWaveFormat2S16 = 0x00000080;
inline constexpr uint32_t kWaveFormat4M08 = 0x00000100;  // 44.1 kHz, mono, 8-bit
inline constexpr uint32_t kWaveFormat4S08 = 0x00000200;
inline constexpr uint32_t kWaveFormat4M16 = 0x00000400;
inline constexpr uint32_t kWaveFormat4S16 = 0x00000800;

struct WaveInCaps {
  uint32_t formats = 0;   // kWaveFormat* bits the device accepts
  uint16_t channels = 0;  // most channels of an accepted format
};

// Fills caps for input device deviceId (0 or the mapper: there is one).
// Fails with the device's answer when it cannot be asked at all (no driver,
// no device); formats it merely refuses are left out.
WaveResult GetWaveInCaps(uint32_t deviceId, WaveInCaps* caps);

}  // namespace platform
