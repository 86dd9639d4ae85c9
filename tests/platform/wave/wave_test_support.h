#pragma once
// Shared pieces of the waveform device tests: a virtual device on a stepped
// clock, a recorder of callbacks, buffers with known contents.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/virtual_wave_device.h"
#include "platform/wave_device.h"

namespace wavetest {

// One callback as the device delivered it; flags as they were at the time.
struct Delivery {
  uint32_t message;
  platform::WaveHeader* header;
  uint32_t flags;
  uint32_t bytesRecorded;
  std::thread::id thread;
};

// Records callbacks; `onDone` runs inside each buffer's callback.
class CallbackLog {
 public:
  std::function<void(platform::WaveHeader*)> onDone;
  void Record(uint32_t message, platform::WaveHeader* header);
  std::vector<Delivery> All() const;
  std::vector<Delivery> Buffers() const;  // without the open/close notices

 private:
  mutable std::mutex mutex_;
  std::vector<Delivery> deliveries_;
};

// A buffer that owns its bytes; Pattern fills them from a seed.
struct Buffer {
  std::vector<char> bytes;
  platform::WaveHeader header;
  explicit Buffer(std::vector<char> content);
  static std::unique_ptr<Buffer> Pattern(size_t size, unsigned seed);
};

inline constexpr size_t kBufferBytes = 640;

// Installs a fresh virtual device with its clock stepped by hand.
class VirtualDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
  }
  void TearDown() override { platform::InstallWaveBackend(nullptr); }
  std::shared_ptr<platform::VirtualWaveDevice> device_;
  platform::WaveFormat pcm16_ = platform::MakePcmFormat(8000, 16, 1);  // 640 bytes = 40 ms
};

}  // namespace wavetest
