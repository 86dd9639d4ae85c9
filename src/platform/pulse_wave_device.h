#pragma once
// The waveform devices on the desktop's sound server, through libpulse
// (PulseAudio, or PipeWire's pipewire-pulse). Streams carry the program's
// name and icon, the stream's own name ("Recording00", the file played) and
// a media role, so the desktop's volume control shows them as ours. With no
// device chosen a stream follows the desktop's default as it changes; a
// chosen device is never swapped for another: when it goes, its streams
// fail with kWaveDeviceGone.

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/wave_backend.h"

namespace platform {

namespace pulse {
class Context;
}

class PulseWaveDevice final : public WaveBackend {
 public:
  // A backend on the server, or null when none answers in `timeoutMs`.
  static std::shared_ptr<PulseWaveDevice> Connect(uint32_t timeoutMs = 2000);
  ~PulseWaveDevice() override;

  const char* Name() const override { return "pulse"; }
  WaveResult QueryOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult QueryInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format) override;
  WaveResult OpenOutput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                        std::unique_ptr<WaveOutStream>& stream) override;
  WaveResult OpenInput(uint32_t deviceId, const WaveRoute& route, const WaveFormat& format,
                       std::unique_ptr<WaveInStream>& stream) override;
  std::vector<WaveEndpoint> Endpoints(bool input) override;
  int WatchEndpoints(std::function<void()> changed) override;
  void UnwatchEndpoints(int token) override;

  // The media roles the streams carry.
  static constexpr const char* kRecordRole = "production";
  static constexpr const char* kPlayRole = "music";

 private:
  PulseWaveDevice() = default;
  // The live connection, made again when the server went away and came back.
  std::shared_ptr<pulse::Context> Live();
  WaveResult Query(bool input, const WaveRoute& route, const WaveFormat& format);
  // Hands a context's news on to the watchers, whichever context is live.
  void Attach(pulse::Context& context);
  void Tell();

  std::mutex mutex_;
  std::shared_ptr<pulse::Context> context_;
  std::recursive_mutex watchMutex_;
  std::vector<std::pair<int, std::function<void()>>> watchers_;
  int nextWatch_ = 1;
};

}  // namespace platform
