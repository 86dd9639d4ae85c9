#pragma once
// The waveform devices where no sound server answers: PortAudio's devices,
// by name, or its default input and output. Each open device is a blocking
// PortAudio stream fed by the device's threads, paced so that it never runs
// ahead of real time on devices that accept data at once (ALSA's null and
// file plugins); devices that make a read wait are not paced.

#include <memory>

#include "platform/wave_backend.h"

namespace platform {

class PortAudioWaveDevice final : public WaveBackend {
 public:
  const char* Name() const override { return "portaudio"; }
  WaveResult QueryOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult QueryInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult OpenOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                        std::unique_ptr<WaveOutStream>& stream) override;
  WaveResult OpenInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                       std::unique_ptr<WaveInStream>& stream) override;
  std::vector<WaveEndpoint> Endpoints(bool input) override;
};

}  // namespace platform
