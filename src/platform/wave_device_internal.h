#pragma once
// What the two directions of the device layer share when they are asked for
// a format or opened: private to wave_*_device.cpp.

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/wave_backend.h"
#include "platform/wave_route.h"
#include "platform/wave_types.h"

namespace platform::wave_detail {

inline bool IsDefaultDevice(uint32_t deviceId) { return deviceId == kWaveMapper || deviceId == 0; }

// Whole frames of a buffer; a trailing partial frame is not played.
inline size_t UsableBytes(const WaveHeader* header, const WaveFormat& format) {
  return header->bufferLength / format.blockAlign * format.blockAlign;
}

// Transfers when the backend sets no limit and there is no buffer to size
// them by: 10 ms.
inline size_t IdleChunkBytes(const WaveFormat& format) {
  return std::max<size_t>(format.blockAlign,
                          WaveBytesPerSecond(format) / 100 / format.blockAlign * format.blockAlign);
}

// The format check both directions share; ask puts the question to the
// backend, on the direction's route.
template <typename Ask>
WaveResult QueryFormat(uint32_t deviceId, const WaveFormat& format, Ask ask) {
  if (!IsDefaultDevice(deviceId)) return kWaveBadDeviceId;
  auto backend = CurrentWaveBackend();
  if (!backend) return kWaveNoDriver;
  if (format.formatTag == kWaveFormatGsm610) {
    // The program codes GSM itself and hands the device 16-bit PCM.
    if (format.channels != 1) return kWaveBadFormat;
    return ask(*backend, MakePcmFormat(format.samplesPerSec, 16, 1));
  }
  if (WaveResult r = CheckPcmFormat(format)) return r;
  return ask(*backend, format);
}

// The checks and the backend's stream both directions share; make builds
// the device around the stream and starts its threads.
template <typename Stream, typename Open, typename Make>
WaveResult OpenStream(uint32_t deviceId, const WaveFormat& format, Open open, Make make) {
  if (!IsDefaultDevice(deviceId)) return kWaveBadDeviceId;
  if (WaveResult r = CheckPcmFormat(format)) return r;
  auto backend = CurrentWaveBackend();
  if (!backend) return kWaveNoDriver;
  std::unique_ptr<Stream> stream;
  if (WaveResult r = open(*backend, stream)) return r;
  if (!stream) return kWaveError;
  return make(std::move(stream), std::move(backend));
}

}  // namespace platform::wave_detail
