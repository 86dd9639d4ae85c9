// The output device on the virtual backend, its clock stepped by hand. What
// WaveIO's tests drive end to end (bytes in order, pause, seek, recording,
// refused opens and buffers, error texts) is not repeated here.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/virtual_wave_device.h"
#include "platform/wave_device.h"

namespace platform {
namespace {

constexpr size_t kBytes = 640;  // 40 ms at 8000 Hz, 16-bit mono

class VirtualWaveDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = VirtualWaveDevice::Install();
    device_->Clock().RunManually();
  }
  void TearDown() override {
    out_.reset();
    InstallWaveBackend(nullptr);
  }

  // Buffer callbacks are logged with the flags they came with, the others as messages.
  void OpenOut(const WaveFormat& format) {
    auto log = [this](WaveOutDevice*, uint32_t message, uintptr_t instance, WaveHeader* h) {
      EXPECT_EQ(instance, 77u);
      std::lock_guard<std::mutex> lock(mutex_);
      if (message == kWaveOutDone) done_.push_back({h, h->flags, std::this_thread::get_id()});
      if (message != kWaveOutDone) notices_.push_back(message);
    };
    ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format, log, 77), kWaveOk);
  }
  WaveHeader* Queue(std::vector<char> bytes = std::vector<char>(kBytes, 1)) {
    WaveHeader* h = &headers_.emplace_back();
    *h = {blocks_.emplace_back(std::move(bytes)).data(), static_cast<uint32_t>(blocks_.back().size())};
    EXPECT_EQ(out_->Prepare(h), kWaveOk);
    EXPECT_EQ(out_->Write(h), kWaveOk);
    return h;
  }
  std::vector<char> Captured() const {
    const auto bytes = device_->LastCapture().bytes;
    return {bytes.begin(), bytes.end()};
  }

  struct Done {
    WaveHeader* header;
    uint32_t flags;
    std::thread::id thread;
  };
  std::shared_ptr<VirtualWaveDevice> device_;
  std::unique_ptr<WaveOutDevice> out_;
  std::deque<std::vector<char>> blocks_;
  std::deque<WaveHeader> headers_;
  std::mutex mutex_;
  std::vector<Done> done_;
  std::vector<uint32_t> notices_;
};

TEST_F(VirtualWaveDeviceTest, BuffersCompleteOnTimeOnTheDeviceThreadAndResetReturnsTheRest) {
  OpenOut(MakePcmFormat(8000, 16, 1));
  WaveHeader* queued[] = {Queue(), Queue(), Queue()};
  ASSERT_TRUE(device_->StepMs(39.9));
  EXPECT_EQ(device_->LastCapture().buffers.size(), 0u);
  ASSERT_TRUE(device_->StepMs(50.1));  // at 90 ms the third is 10 ms in
  const auto capture = device_->LastCapture();
  ASSERT_GE(capture.buffers.size(), 2u);
  EXPECT_EQ(capture.buffers[0].completedMicros, 40000);
  EXPECT_EQ(capture.buffers[1].completedMicros, 80000);
  EXPECT_EQ(out_->Close(), kWaveStillPlaying);
  EXPECT_EQ(out_->Unprepare(queued[2]), kWaveStillPlaying);
  ASSERT_EQ(out_->Reset(), kWaveOk);  // returns once every buffer is back
  ASSERT_EQ(done_.size(), 3u);  // the device thread is idle from here on
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(done_[i].header, queued[i]) << i;
    EXPECT_EQ(done_[i].flags, kWaveHeaderDone | kWaveHeaderPrepared) << i;
    EXPECT_NE(done_[i].thread, std::this_thread::get_id()) << i;
  }
  EXPECT_EQ(Captured().size(), 2 * kBytes + 160);
  EXPECT_EQ(out_->Unprepare(queued[2]), kWaveOk);
  EXPECT_EQ(out_->Write(queued[2]), kWaveUnprepared);
  ASSERT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(out_->Close(), kWaveInvalidHandle);
  EXPECT_EQ(notices_, (std::vector<uint32_t>{kWaveOutOpen, kWaveOutClose}));
}

// The level applies per channel, around the midpoint for 8 bits, and belongs
// to the output rather than to one opening of it.
TEST_F(VirtualWaveDeviceTest, VolumeScalesEachChannelAndOutlivesTheDevice) {
  OpenOut(MakePcmFormat(8000, 16, 2));
  const uint32_t volume = 0x4000u << 16 | 0x8000u;  // right a quarter, left a half
  ASSERT_EQ(out_->SetVolume(volume), kWaveOk);
  const int16_t samples[8] = {32767, -32768, 1000, -1000, -2, 2, 0, 12345};
  const int16_t expected[8] = {16383, -8192, 500, -250, -1, 0, 0, 3086};
  const auto* raw = reinterpret_cast<const char*>(samples);
  const WaveHeader* h = Queue(std::vector<char>(raw, raw + sizeof samples));
  ASSERT_TRUE(device_->StepMs(10));
  ASSERT_EQ(Captured().size(), sizeof expected);
  EXPECT_EQ(0, std::memcmp(Captured().data(), expected, sizeof expected));
  EXPECT_EQ(0, std::memcmp(h->data, samples, sizeof samples));  // the caller's buffer is kept
  ASSERT_EQ(out_->Close(), kWaveOk);

  OpenOut(MakePcmFormat(11025, 8, 1));
  uint32_t read = 0;
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);
  Queue({'\x00', '\xff', '\x80'});
  ASSERT_TRUE(device_->StepMs(1));
  EXPECT_EQ(Captured(), (std::vector<char>{'\x40', '\xbf', '\x80'}));  // a half around the midpoint
}

}  // namespace
}  // namespace platform
