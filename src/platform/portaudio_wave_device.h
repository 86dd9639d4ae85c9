#pragma once
// The real waveform devices: PortAudio's default input and output devices.
// Each open device is a blocking PortAudio stream fed by the device thread,
// paced so that it never runs ahead of real time even on devices that accept
// data at once (ALSA's null and file plugins).

#include <memory>

#include "platform/wave_backend.h"

namespace platform {

class PortAudioWaveDevice final : public WaveBackend {
 public:
  WaveResult QueryOutput(uint32_t deviceId, const WaveFormat& format) override;
  WaveResult QueryInput(uint32_t deviceId, const WaveFormat& format) override;
  WaveResult OpenOutput(uint32_t deviceId, const WaveFormat& format,
                        std::unique_ptr<WaveOutStream>& stream) override;
  WaveResult OpenInput(uint32_t deviceId, const WaveFormat& format,
                       std::unique_ptr<WaveInStream>& stream) override;
};

}  // namespace platform
