#include "platform/wave_backend.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/portaudio_wave_device.h"
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

std::shared_ptr<WaveBackend> MakeDefaultBackend() {
  const char* choice = std::getenv("QUILLON_WAVE_BACKEND");
  if (choice && std::strcmp(choice, "virtual") == 0) {
    auto device = std::make_shared<VirtualWaveDevice>();
    device->Clock().RunAtSpeed(1.0);
    return device;
  }
  return std::make_shared<PortAudioWaveDevice>();
}

}  // namespace

std::shared_ptr<WaveBackend> CurrentWaveBackend() {
  std::lock_guard<std::mutex> lock(BackendMutex());
  if (!Backend()) Backend() = MakeDefaultBackend();
  return Backend();
}

void InstallWaveBackend(std::shared_ptr<WaveBackend> backend) {
  std::lock_guard<std::mutex> lock(BackendMutex());
  Backend() = std::move(backend);
}

}  // namespace platform
