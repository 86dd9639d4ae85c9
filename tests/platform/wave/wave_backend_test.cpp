// QUILLON_WAVE_BACKEND's values: which backend they make, how fast its clock
// runs and how much input each opening delivers.

#include "platform/wave_backend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/virtual_wave_device.h"

namespace platform {
namespace {

// Bytes one input opening delivers: reads until the input, well past its
// limit in virtual time, still waits, and is then interrupted.
size_t Delivered(VirtualWaveDevice& device, const WaveFormat& format, int64_t limitMicros) {
  std::unique_ptr<WaveInStream> in;
  EXPECT_EQ(device.OpenInput(0, WaveRoute{}, format, in), kWaveOk);
  const int64_t start = device.Clock().NowMicros();
  EXPECT_EQ(in->Start(), kWaveOk);
  std::thread stopper([&] {
    // A wait for a time after the limit is the wait that never ends.
    while (device.Clock().NowMicros() - start < limitMicros + 100000 || !in->WaitingForTime()) {
      std::this_thread::yield();
    }
    in->Interrupt();
  });
  std::vector<uint8_t> block(640);
  size_t total = 0;
  for (;;) {
    size_t n = 0;
    EXPECT_EQ(in->Read(block.data(), block.size(), n), kWaveOk);
    if (n == 0) break;
    total += n;
  }
  stopper.join();
  return total;
}

TEST(WaveBackendTest, TheVariableNamesTheVirtualDeviceItsSpeedAndItsInputLength) {
  struct Case {
    const char* choice;
    bool isVirtual;
    double minimumSpeed;  // virtual microseconds per real one, at least
    int64_t inputMicros;  // the input's length; 0: no end
    size_t inputBytes;    // ... at 8000 Hz 16-bit
  };
  const Case cases[] = {
      {nullptr, false, 0, 0, 0},
      {"portaudio", false, 0, 0, 0},
      {"virtually", false, 0, 0, 0},
      {"virtual", true, 1, 0, 0},
      {"virtual:2000", true, 2000, 0, 0},
      {"virtual:x", true, 1, 0, 0},
      {"virtual:5000:0.5", true, 5000, 500000, 8000},
      {"virtual:-3:0.04", true, 1, 40000, 640},
  };
  const WaveFormat format = MakePcmFormat(8000, 16, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choice ? c.choice : "(unset)");
    std::shared_ptr<WaveBackend> backend = MakeWaveBackend(c.choice);
    auto device = std::dynamic_pointer_cast<VirtualWaveDevice>(backend);
    ASSERT_EQ(device != nullptr, c.isVirtual);
    if (!device) continue;
    EXPECT_FALSE(device->Clock().IsManual());
    // The clock is real time times the speed, so a real wait of at least
    // 20 ms moves it at least that far times the speed.
    const int64_t before = device->Clock().NowMicros();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(device->Clock().NowMicros() - before, static_cast<int64_t>(20000 * c.minimumSpeed));
    if (c.inputMicros != 0) {
      EXPECT_EQ(Delivered(*device, format, c.inputMicros), c.inputBytes);
      EXPECT_EQ(Delivered(*device, format, c.inputMicros), c.inputBytes) << "each opening delivers it anew";
    }
  }
}

}  // namespace
}  // namespace platform
