// The output device on the virtual backend, its clock stepped by hand. What
// WaveIO's tests already drive end to end (bytes in order, pause, recording,
// refused opens and buffers, error texts) is not repeated here.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/virtual_wave_device.h"
#include "platform/wave_device.h"

namespace platform {
namespace {

constexpr size_t kBytes = 640;  // 40 ms at 8000 Hz, 16-bit mono

struct Delivery {
  WaveHeader* header;
  uint32_t flags;
  std::thread::id thread;
};

struct Buffer {
  explicit Buffer(std::vector<char> content) : bytes(std::move(content)) {
    header.data = bytes.data();
    header.bufferLength = static_cast<uint32_t>(bytes.size());
  }
  std::vector<char> bytes;
  WaveHeader header;
};

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

  // Logs buffer callbacks (running `onBuffer_` inside them) and the notices.
  void Log(uint32_t message, WaveHeader* h) {
    if (message == kWaveOutDone && onBuffer_) onBuffer_(h);
    std::lock_guard<std::mutex> lock(mutex_);
    if (message == kWaveOutDone) {
      done_.push_back({h, h->flags, std::this_thread::get_id()});
    } else {
      notices_.push_back(message);
    }
  }
  std::vector<Delivery> Done() {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }
  void OpenOut(const WaveFormat& format) {
    ASSERT_EQ(WaveOutDevice::Open(
                  out_, kWaveMapper, format,
                  [this](WaveOutDevice*, uint32_t m, uintptr_t instance, WaveHeader* h) {
                    EXPECT_EQ(instance, 77u);
                    Log(m, h);
                  },
                  77),
              kWaveOk);
  }
  Buffer* Queue(std::vector<char> bytes = std::vector<char>(kBytes, 1)) {
    buffers_.push_back(std::make_unique<Buffer>(std::move(bytes)));
    EXPECT_EQ(out_->Prepare(&buffers_.back()->header), kWaveOk);
    EXPECT_EQ(out_->Write(&buffers_.back()->header), kWaveOk);
    return buffers_.back().get();
  }
  std::vector<char> Captured() const {
    const auto bytes = device_->LastCapture().bytes;
    return {bytes.begin(), bytes.end()};
  }

  std::shared_ptr<VirtualWaveDevice> device_;
  const WaveFormat pcm16_ = MakePcmFormat(8000, 16, 1);
  std::unique_ptr<WaveOutDevice> out_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::function<void(WaveHeader*)> onBuffer_;
  std::mutex mutex_;
  std::vector<Delivery> done_;
  std::vector<uint32_t> notices_;
};

TEST_F(VirtualWaveDeviceTest, BuffersCompleteOnTimeOneCallbackEachOnTheDeviceThread) {
  OpenOut(pcm16_);
  const Buffer* queued[] = {Queue(), Queue(), Queue()};
  ASSERT_TRUE(device_->StepMs(39.9));
  EXPECT_TRUE(Done().empty());
  ASSERT_TRUE(device_->StepMs(200.1));
  const auto done = Done();
  const auto capture = device_->LastCapture();
  ASSERT_EQ(done.size(), 3u);
  ASSERT_EQ(capture.buffers.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(done[i].header, &queued[i]->header) << i;
    EXPECT_EQ(done[i].flags, kWaveHeaderDone | kWaveHeaderPrepared) << i;
    EXPECT_NE(done[i].thread, std::this_thread::get_id()) << i;
    EXPECT_EQ(capture.buffers[i].completedMicros, 40000 * int64_t(i + 1)) << i;
  }
  ASSERT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(notices_, (std::vector<uint32_t>{kWaveOutOpen, kWaveOutClose}));
}

TEST_F(VirtualWaveDeviceTest, ResetReturnsEveryQueuedBufferAndOnlyThenMayTheyBeUnpreparedAndClosed) {
  OpenOut(pcm16_);
  Buffer* a = Queue();
  Queue();
  Queue();
  ASSERT_TRUE(device_->StepMs(10));
  EXPECT_EQ(out_->Close(), kWaveStillPlaying);
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveStillPlaying);
  ASSERT_EQ(out_->Reset(), kWaveOk);  // returns once every buffer is back
  const auto done = Done();
  ASSERT_EQ(done.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(done[i].header, &buffers_[i]->header);
  EXPECT_EQ(Captured().size(), 160u);  // 10 ms were heard
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveOk);
  EXPECT_EQ(out_->Write(&a->header), kWaveUnprepared);
  EXPECT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(out_->Close(), kWaveInvalidHandle);
}

// The callback may reset its own device without waiting for itself, and may
// not close it.
TEST_F(VirtualWaveDeviceTest, ResetFromTheCallbackDoesNotWaitForItself) {
  OpenOut(pcm16_);
  bool first = true;
  onBuffer_ = [&](WaveHeader*) {
    if (!std::exchange(first, false)) return;
    EXPECT_EQ(out_->Close(), kWaveHandleBusy);
    EXPECT_EQ(out_->Reset(), kWaveOk);
  };
  for (int i = 0; i < 3; ++i) Queue();
  ASSERT_TRUE(device_->StepMs(40));
  EXPECT_EQ(Done().size(), 3u);
  EXPECT_EQ(out_->Close(), kWaveOk);
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
  Buffer* b = Queue(std::vector<char>(raw, raw + sizeof samples));
  ASSERT_TRUE(device_->StepMs(10));
  ASSERT_EQ(Captured().size(), sizeof expected);
  EXPECT_EQ(0, std::memcmp(Captured().data(), expected, sizeof expected));
  EXPECT_EQ(0, std::memcmp(b->bytes.data(), samples, sizeof samples));  // the caller's buffer is kept
  ASSERT_EQ(out_->Close(), kWaveOk);

  OpenOut(MakePcmFormat(11025, 8, 1));
  uint32_t read = 0;
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);
  ASSERT_EQ(out_->SetVolume(0x7FFF7FFF), kWaveOk);
  Queue({'\x00', '\xff', '\x80'});
  ASSERT_TRUE(device_->StepMs(1));
  // -128 * 0x7FFF / 0xFFFF = -63.99 -> -63.
  EXPECT_EQ(Captured(), (std::vector<char>{128 - 63, char(128 + 63), '\x80'}));
}

TEST_F(VirtualWaveDeviceTest, QueryChecksThePcmShapeAcceptsGsmAndWritesCanBeMadeToFail) {
  WaveFormat skewed = pcm16_, doubled = pcm16_;
  skewed.blockAlign = 4;
  doubled.samplesPerSec *= 2;  // a scan doubles the rate and leaves the byte rate alone
  const WaveFormat gsm{kWaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
  EXPECT_EQ(WaveInDevice::Query(0, MakePcmFormat(44100, 16, 2)), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, doubled), kWaveOk);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, gsm), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(3, pcm16_), kWaveBadDeviceId);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 24, 1)), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 16, 3)), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, skewed), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Open(out_, kWaveMapper, gsm, nullptr, 0), kWaveBadFormat);  // the device takes PCM only

  VirtualWaveFailures failures;
  failures.failWriteFrom = 1;
  device_->SetFailures(failures);
  ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, pcm16_, nullptr, 0), kWaveOk);
  Buffer b{std::vector<char>(kBytes)};
  ASSERT_EQ(out_->Prepare(&b.header), kWaveOk);
  EXPECT_EQ(out_->Write(&b.header), kWaveError);
  EXPECT_EQ(out_->Close(), kWaveOk);  // nothing was queued
}

}  // namespace
}  // namespace platform
