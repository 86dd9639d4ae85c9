#pragma once
// Shared pieces of the waveform device tests: a virtual device on a stepped
// clock, a recorder of callbacks, buffers with known contents.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "platform/virtual_wave_device.h"
#include "platform/wave_device.h"

namespace wavetest {

// One callback as the device delivered it.
struct Delivery {
  uint32_t message;
  platform::WaveHeader* header;
  uint32_t flags;          // the header's flags when the callback ran
  uint32_t bytesRecorded;
  std::thread::id thread;
};

// Records callbacks; an optional action runs inside each WOM_DONE/WIM_DATA.
class CallbackLog {
 public:
  std::function<void(platform::WaveHeader*)> onDone;

  void Record(uint32_t message, platform::WaveHeader* header);
  std::vector<Delivery> All() const;
  // Only the buffer deliveries (no open/close notices).
  std::vector<Delivery> Buffers() const;
  // Waits until at least `count` buffer deliveries arrived (safety time-out).
  bool WaitForBuffers(size_t count, uint32_t timeoutMs = 10000);

 private:
  mutable std::mutex mutex_;
  std::vector<Delivery> deliveries_;
  platform::Event arrived_{false, false};
};

// A buffer that owns its bytes.
struct Buffer {
  std::vector<char> bytes;
  platform::WaveHeader header;
  explicit Buffer(std::vector<char> content);
  static std::unique_ptr<Buffer> Pattern(size_t size, unsigned seed);
};

std::vector<char> Concat(const std::vector<const Buffer*>& buffers);

inline constexpr size_t kBufferBytes = 640;

// Installs a fresh virtual device with its clock stepped by hand.
class VirtualDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::shared_ptr<platform::VirtualWaveDevice> device_;
  platform::WaveFormat pcm16_ = platform::MakePcmFormat(8000, 16, 1);  // 640 bytes = 40 ms
};

}  // namespace wavetest
