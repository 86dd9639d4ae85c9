#include "platform/wave_backend.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/portaudio_wave_device.h"
#include "platform/pulse_wave_device.h"
#include "platform/virtual_wave_device.h"

namespace platform {

namespace {

std::mutex& BackendMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<WaveBackend>& Backend() {
  static std::shared_ptr<WaveBackend> backend;
  return backend;
}

// A positive number at `text` (whatever the locale), or 0 when there is none;
// `end` is left after it.
double PositiveNumber(const char* text, const char** end) {
  double value = 0;
  const auto [stop, error] = std::from_chars(text, text + std::strlen(text), value);
  *end = stop;
  return error == std::errc() && std::isfinite(value) && value > 0 ? value : 0;
}

}  // namespace

std::shared_ptr<WaveBackend> MakeWaveBackend(const char* choice) {
  constexpr char kVirtual[] = "virtual";
  constexpr size_t kLength = sizeof kVirtual - 1;
  if (choice != nullptr && std::strcmp(choice, "portaudio") == 0) return std::make_shared<PortAudioWaveDevice>();
  if (choice == nullptr || std::strncmp(choice, kVirtual, kLength) != 0 ||
      (choice[kLength] != '\0' && choice[kLength] != ':')) {
    // The desktop's sound server where one answers; a server asked for by
    // name is waited for a little longer.
    const bool asked = choice != nullptr && std::strcmp(choice, "pulse") == 0;
    if (auto server = PulseWaveDevice::Connect(asked ? 5000 : 2000)) return server;
    return std::make_shared<PortAudioWaveDevice>();
  }
  auto device = std::make_shared<VirtualWaveDevice>();
  // No one reads what a program run on it plays: nothing is kept.
  device->SetCaptureLimits({.bytes = 0, .buffers = 0, .captures = 1});
  const char* rest = choice + kLength;
  double speed = 1.0;
  if (*rest == ':') {
    const double given = PositiveNumber(rest + 1, &rest);
    if (given > 0) speed = given;
    if (*rest == ':') {
      const double seconds = PositiveNumber(rest + 1, &rest);
      device->SetInputLimitMicros(static_cast<int64_t>(std::min(seconds, 1e12) * 1e6 + 0.5));
      if (std::strcmp(rest, ":live") == 0) device->SetInputLive(true);
    }
  }
  device->Clock().RunAtSpeed(speed);
  return device;
}

std::shared_ptr<WaveBackend> CurrentWaveBackend() {
  std::lock_guard<std::mutex> lock(BackendMutex());
  if (!Backend()) Backend() = MakeWaveBackend(std::getenv("QUILLON_WAVE_BACKEND"));
  return Backend();
}

void InstallWaveBackend(std::shared_ptr<WaveBackend> backend) {
  std::lock_guard<std::mutex> lock(BackendMutex());
  Backend() = std::move(backend);
}

}  // namespace platform
