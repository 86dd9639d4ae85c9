// The output device on the virtual backend: order, timing, pause, reset,
// close, volume and callbacks that call back into the device.

#include <cstring>
#include <utility>

#include "wave_test_support.h"

namespace wavetest {
namespace {

using namespace platform;

class WaveOutputTest : public VirtualDeviceTest {
 protected:
  void Open(const WaveFormat& format) {
    ASSERT_EQ(WaveOutDevice::Open(out_, kWaveMapper, format,
                                  [this](WaveOutDevice*, uint32_t message, uintptr_t instance, WaveHeader* h) {
                                    EXPECT_EQ(instance, 77u);
                                    log_.Record(message, h);
                                  },
                                  77),
              kWaveOk);
  }
  Buffer* Queue(std::unique_ptr<Buffer> b) {
    EXPECT_EQ(out_->Prepare(&b->header), kWaveOk);
    EXPECT_EQ(out_->Write(&b->header), kWaveOk);
    buffers_.push_back(std::move(b));
    return buffers_.back().get();
  }
  Buffer* Queue(unsigned seed) { return Queue(Buffer::Pattern(kBufferBytes, seed)); }
  static std::vector<char> Concat(const std::vector<const Buffer*>& buffers) {
    std::vector<char> out;
    for (const Buffer* b : buffers) out.insert(out.end(), b->bytes.begin(), b->bytes.end());
    return out;
  }
  std::vector<char> Captured() const {
    const auto c = device_->LastCapture().bytes;
    return std::vector<char>(c.begin(), c.end());
  }
  // The buffers returned so far are exactly `expected`, in order, done.
  void ExpectReturned(const std::vector<const Buffer*>& expected) {
    const auto done = log_.Buffers();
    ASSERT_EQ(done.size(), expected.size());
    for (size_t i = 0; i < done.size(); ++i) {
      EXPECT_EQ(done[i].header, &expected[i]->header) << i;
      EXPECT_EQ(done[i].flags, kWaveHeaderDone | kWaveHeaderPrepared) << i;
      EXPECT_NE(done[i].thread, std::this_thread::get_id()) << i;
    }
  }

  CallbackLog log_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::unique_ptr<WaveOutDevice> out_;
};

TEST_F(WaveOutputTest, BuffersCompleteInOrderOneCallbackEachOnTheDeviceThread) {
  Open(pcm16_);
  Buffer* a = Queue(1);
  Buffer* b = Queue(2);
  Buffer* c = Queue(3);
  ASSERT_TRUE(device_->StepMs(39.9));
  EXPECT_TRUE(log_.Buffers().empty());
  EXPECT_TRUE(out_->HeaderFlags(&a->header) & kWaveHeaderInQueue);
  ASSERT_TRUE(device_->StepMs(0.1));
  ExpectReturned({a});
  ASSERT_TRUE(device_->StepMs(200));
  ExpectReturned({a, b, c});
  EXPECT_EQ(Captured(), Concat({a, b, c}));

  const auto capture = device_->LastCapture();
  ASSERT_EQ(capture.buffers.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(capture.buffers[i].completedMicros, 40000 * int64_t(i + 1));

  ASSERT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(log_.All().front().message, kWaveOutOpen);
  EXPECT_EQ(log_.All().back().message, kWaveOutClose);
}

TEST_F(WaveOutputTest, PauseHoldsBuffersAndRestartContinuesWhereItStopped) {
  Open(pcm16_);
  Buffer* a = Queue(4);
  Buffer* b = Queue(5);
  ASSERT_TRUE(device_->StepMs(20));
  ASSERT_EQ(out_->Pause(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(1000));
  EXPECT_TRUE(log_.Buffers().empty());
  EXPECT_EQ(Captured().size(), kBufferBytes / 2);

  ASSERT_EQ(out_->Restart(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(20));
  ASSERT_EQ(log_.Buffers().size(), 1u);
  // The rest of the first buffer plays from the moment of the restart.
  EXPECT_EQ(device_->LastCapture().buffers.at(0).completedMicros, 1040000);
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 2u);
  EXPECT_EQ(Captured(), Concat({a, b}));

  // Destroying an open device returns its queued buffers first.
  Queue(30);
  Queue(31);
  out_.reset();
  EXPECT_EQ(log_.Buffers().size(), 4u);
}

TEST_F(WaveOutputTest, ResetReturnsEveryQueuedBufferAndOnlyThenMayTheyBeUnpreparedAndClosed) {
  Open(pcm16_);
  Buffer* a = Queue(6);
  Buffer* b = Queue(7);
  Buffer* c = Queue(8);
  ASSERT_TRUE(device_->StepMs(10));
  EXPECT_EQ(out_->Close(), kWaveStillPlaying);
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveStillPlaying);
  EXPECT_EQ(out_->Write(&a->header), kWaveStillPlaying);  // already queued

  ASSERT_EQ(out_->Reset(), kWaveOk);  // returns once every buffer is back
  ExpectReturned({a, b, c});
  EXPECT_EQ(Captured().size(), 160u);  // 10 ms were heard
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveOk);
  EXPECT_EQ(out_->Write(&a->header), kWaveUnprepared);

  // The device plays on afterwards, from the next buffer handed over.
  Buffer* d = Queue(9);
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 4u);
  std::vector<char> expected(a->bytes.begin(), a->bytes.begin() + 160);
  expected.insert(expected.end(), d->bytes.begin(), d->bytes.end());
  EXPECT_EQ(Captured(), expected);

  EXPECT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(out_->Close(), kWaveInvalidHandle);
  EXPECT_EQ(out_->Prepare(&a->header), kWaveInvalidHandle);
  EXPECT_EQ(out_->Pause(), kWaveInvalidHandle);
}

// The level applies per channel, around the midpoint for 8 bits, and belongs
// to the output rather than to one opening of it.
TEST_F(WaveOutputTest, VolumeScalesEachChannelAndOutlivesTheDevice) {
  Open(MakePcmFormat(8000, 16, 2));
  const uint32_t volume = 0x4000u << 16 | 0x8000u;  // right a quarter, left a half
  ASSERT_EQ(out_->SetVolume(volume), kWaveOk);
  const int16_t samples[8] = {32767, -32768, 1000, -1000, -2, 2, 0, 12345};
  const int16_t expected[8] = {16383, -8192, 500, -250, -1, 0, 0, 3086};
  const auto* raw = reinterpret_cast<const char*>(samples);
  Buffer* b = Queue(std::make_unique<Buffer>(std::vector<char>(raw, raw + sizeof samples)));
  ASSERT_TRUE(device_->StepMs(10));
  const auto heard = Captured();
  ASSERT_EQ(heard.size(), sizeof expected);
  EXPECT_EQ(0, std::memcmp(heard.data(), expected, sizeof expected));
  EXPECT_EQ(0, std::memcmp(b->bytes.data(), samples, sizeof samples));  // the caller's buffer is kept
  ASSERT_EQ(out_->Close(), kWaveOk);

  Open(MakePcmFormat(11025, 8, 1));
  uint32_t read = 0;
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);
  ASSERT_EQ(out_->SetVolume(0x00000000), kWaveOk);
  Queue(std::make_unique<Buffer>(std::vector<char>{'\x00', '\x7f', '\x80', '\xff'}));
  ASSERT_TRUE(device_->StepMs(1));
  ASSERT_EQ(out_->SetVolume(0x7FFF7FFF), kWaveOk);
  Queue(std::make_unique<Buffer>(std::vector<char>{'\x00', '\xff', '\x80'}));
  ASSERT_TRUE(device_->StepMs(1));
  // Silence is the midpoint; -128 * 0x7FFF / 0xFFFF = -63.99 -> -63.
  EXPECT_EQ(Captured(), (std::vector<char>{'\x80', '\x80', '\x80', '\x80', 128 - 63, char(128 + 63), '\x80'}));
}

TEST_F(WaveOutputTest, CallbackMayRequeueIntoTheDeviceFromItsThread) {
  Open(pcm16_);
  int budget = 12;  // only touched on the device thread
  log_.onDone = [&](WaveHeader* h) {
    EXPECT_EQ(out_->Unprepare(h), kWaveOk);
    if (--budget < 0) return;
    EXPECT_EQ(out_->Prepare(h), kWaveOk);
    EXPECT_EQ(out_->Write(h), kWaveOk);
    EXPECT_EQ(out_->Close(), kWaveHandleBusy);
  };
  const Buffer* cycle[] = {Queue(11), Queue(12), Queue(13)};
  ASSERT_TRUE(device_->StepMs(40 * 15));
  const auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 15u);
  for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].header, &cycle[i % 3]->header) << i;
  const auto capture = device_->LastCapture();
  ASSERT_EQ(capture.buffers.size(), 15u);
  EXPECT_EQ(capture.buffers.back().completedMicros, 600000);  // no gaps between them
  EXPECT_EQ(out_->Close(), kWaveOk);
}

TEST_F(WaveOutputTest, ResetFromTheCallbackDoesNotWaitForItself) {
  Open(pcm16_);
  bool resetOnce = false;
  log_.onDone = [&](WaveHeader*) {
    if (!std::exchange(resetOnce, true)) {
      EXPECT_EQ(out_->Reset(), kWaveOk);
    }
  };
  for (unsigned seed : {14u, 15u, 16u}) Queue(seed);
  ASSERT_TRUE(device_->StepMs(40));
  EXPECT_EQ(log_.Buffers().size(), 3u);
  EXPECT_EQ(out_->Close(), kWaveOk);
}

}  // namespace
}  // namespace wavetest
