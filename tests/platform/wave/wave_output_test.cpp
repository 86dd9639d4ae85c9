// The output device on the virtual backend: order, timing, pause, reset,
// close, volume and callbacks that call back into the device.

#include <gtest/gtest.h>

#include <cstring>

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
  std::vector<char> Captured() const {
    auto c = device_->LastCapture().bytes;
    return std::vector<char>(c.begin(), c.end());
  }

  CallbackLog log_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::unique_ptr<WaveOutDevice> out_;
};

TEST_F(WaveOutputTest, BuffersCompleteInOrderOneCallbackEachOnTheDeviceThread) {
  Open(pcm16_);
  Buffer* a = Queue(Buffer::Pattern(kBufferBytes, 1));
  Buffer* b = Queue(Buffer::Pattern(kBufferBytes, 2));
  Buffer* c = Queue(Buffer::Pattern(kBufferBytes, 3));

  ASSERT_TRUE(device_->StepMs(39.9));
  EXPECT_TRUE(log_.Buffers().empty());
  EXPECT_TRUE(out_->HeaderFlags(&a->header) & kWaveHeaderInQueue);

  ASSERT_TRUE(device_->StepMs(0.1));
  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].header, &a->header);
  EXPECT_EQ(done[0].flags, kWaveHeaderDone | kWaveHeaderPrepared);

  ASSERT_TRUE(device_->StepMs(200));
  done = log_.Buffers();
  ASSERT_EQ(done.size(), 3u);
  EXPECT_EQ(done[1].header, &b->header);
  EXPECT_EQ(done[2].header, &c->header);
  for (const auto& d : done) EXPECT_NE(d.thread, std::this_thread::get_id());
  EXPECT_EQ(Captured(), Concat({a, b, c}));

  auto capture = device_->LastCapture();
  ASSERT_EQ(capture.buffers.size(), 3u);
  EXPECT_EQ(capture.buffers[0].completedMicros, 40000);
  EXPECT_EQ(capture.buffers[1].completedMicros, 80000);
  EXPECT_EQ(capture.buffers[2].completedMicros, 120000);

  ASSERT_EQ(out_->Close(), kWaveOk);
  auto all = log_.All();
  EXPECT_EQ(all.front().message, kWaveOutOpen);
  EXPECT_EQ(all.back().message, kWaveOutClose);
}

TEST_F(WaveOutputTest, PauseHoldsBuffersAndRestartContinuesWhereItStopped) {
  Open(pcm16_);
  Buffer* a = Queue(Buffer::Pattern(kBufferBytes, 4));
  Buffer* b = Queue(Buffer::Pattern(kBufferBytes, 5));

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
}

TEST_F(WaveOutputTest, ResetReturnsEveryQueuedBufferInOrderWithTheDoneBit) {
  Open(pcm16_);
  Buffer* a = Queue(Buffer::Pattern(kBufferBytes, 6));
  Buffer* b = Queue(Buffer::Pattern(kBufferBytes, 7));
  Buffer* c = Queue(Buffer::Pattern(kBufferBytes, 8));
  ASSERT_TRUE(device_->StepMs(10));

  ASSERT_EQ(out_->Reset(), kWaveOk);  // returns once every buffer is back
  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 3u);
  EXPECT_EQ(done[0].header, &a->header);
  EXPECT_EQ(done[1].header, &b->header);
  EXPECT_EQ(done[2].header, &c->header);
  for (const auto& d : done) EXPECT_EQ(d.flags, kWaveHeaderDone | kWaveHeaderPrepared);
  EXPECT_EQ(Captured().size(), 160u);  // 10 ms were heard

  // The device plays on afterwards, from the next buffer handed over.
  Buffer* d = Queue(Buffer::Pattern(kBufferBytes, 9));
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 4u);
  std::vector<char> expected(a->bytes.begin(), a->bytes.begin() + 160);
  expected.insert(expected.end(), d->bytes.begin(), d->bytes.end());
  EXPECT_EQ(Captured(), expected);
  EXPECT_EQ(out_->Close(), kWaveOk);
}

TEST_F(WaveOutputTest, CloseWithBuffersQueuedFailsWithStillPlaying) {
  Open(pcm16_);
  Buffer* a = Queue(Buffer::Pattern(kBufferBytes, 10));

  EXPECT_EQ(out_->Close(), kWaveStillPlaying);
  EXPECT_FALSE(WaveErrorText(kWaveStillPlaying).empty());
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveStillPlaying);
  EXPECT_EQ(out_->Write(&a->header), kWaveStillPlaying);  // already queued

  ASSERT_EQ(out_->Reset(), kWaveOk);
  EXPECT_EQ(out_->Unprepare(&a->header), kWaveOk);
  EXPECT_EQ(out_->Write(&a->header), kWaveUnprepared);
  EXPECT_EQ(out_->Close(), kWaveOk);
  EXPECT_EQ(out_->Close(), kWaveInvalidHandle);
  EXPECT_EQ(out_->Prepare(&a->header), kWaveInvalidHandle);
  EXPECT_EQ(out_->Pause(), kWaveInvalidHandle);
}

TEST_F(WaveOutputTest, VolumeScalesSixteenBitStereoPerChannel) {
  WaveFormat stereo = MakePcmFormat(8000, 16, 2);
  Open(stereo);
  const uint32_t volume = 0x4000u << 16 | 0x8000u;  // right a quarter, left a half
  ASSERT_EQ(out_->SetVolume(volume), kWaveOk);
  uint32_t read = 0;
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, volume);

  std::vector<int16_t> samples = {32767, -32768, 1000, -1000, -2, 2, 0, 12345};
  std::vector<char> raw(samples.size() * 2);
  std::memcpy(raw.data(), samples.data(), raw.size());
  Buffer* b = Queue(std::make_unique<Buffer>(raw));
  ASSERT_TRUE(device_->StepMs(10));
  ASSERT_EQ(log_.Buffers().size(), 1u);

  auto out = Captured();
  ASSERT_EQ(out.size(), raw.size());
  std::vector<int16_t> heard(samples.size());
  std::memcpy(heard.data(), out.data(), out.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    uint32_t level = i % 2 == 0 ? 0x8000 : 0x4000;
    EXPECT_EQ(heard[i], static_cast<int16_t>(static_cast<int64_t>(samples[i]) * level / 0xFFFF)) << i;
  }
  EXPECT_EQ(b->bytes, raw);  // the caller's buffer is left as it was
}

TEST_F(WaveOutputTest, VolumeScalesEightBitAroundTheMidpointAndOutlivesTheDevice) {
  Open(MakePcmFormat(11025, 8, 1));
  ASSERT_EQ(out_->SetVolume(0x00000000), kWaveOk);
  Queue(std::make_unique<Buffer>(std::vector<char>{'\x00', '\x7f', '\x80', '\xff'}));
  ASSERT_TRUE(device_->StepMs(1));
  ASSERT_EQ(log_.Buffers().size(), 1u);
  EXPECT_EQ(Captured(), std::vector<char>(4, '\x80'));
  ASSERT_EQ(out_->Close(), kWaveOk);

  // The level belongs to the output, not to one opening of it.
  Open(MakePcmFormat(11025, 8, 1));
  uint32_t read = 1;
  ASSERT_EQ(out_->GetVolume(&read), kWaveOk);
  EXPECT_EQ(read, 0u);
  ASSERT_EQ(out_->SetVolume(0x7FFF7FFF), kWaveOk);
  Queue(std::make_unique<Buffer>(std::vector<char>{'\x00', '\xff', '\x80'}));
  ASSERT_TRUE(device_->StepMs(1));
  auto out = device_->LastCapture().bytes;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], 128 - 63);  // -128 * 0x7FFF / 0xFFFF = -63.99 -> -63
  EXPECT_EQ(out[1], 128 + 63);
  EXPECT_EQ(out[2], 128);
}

TEST_F(WaveOutputTest, CallbackMayRequeueIntoTheDeviceFromItsThread) {
  Open(pcm16_);
  std::vector<WaveHeader*> order;
  int budget = 12;  // only touched on the device thread
  log_.onDone = [&](WaveHeader* h) {
    EXPECT_EQ(out_->Unprepare(h), kWaveOk);
    if (--budget < 0) return;
    EXPECT_EQ(out_->Prepare(h), kWaveOk);
    EXPECT_EQ(out_->Write(h), kWaveOk);
    EXPECT_EQ(out_->Close(), kWaveHandleBusy);
  };
  Buffer* a = Queue(Buffer::Pattern(kBufferBytes, 11));
  Buffer* b = Queue(Buffer::Pattern(kBufferBytes, 12));
  Buffer* c = Queue(Buffer::Pattern(kBufferBytes, 13));

  ASSERT_TRUE(device_->StepMs(40 * 15));
  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 15u);
  const WaveHeader* cycle[] = {&a->header, &b->header, &c->header};
  for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].header, cycle[i % 3]) << i;
  auto capture = device_->LastCapture();
  ASSERT_EQ(capture.buffers.size(), 15u);
  EXPECT_EQ(capture.buffers.back().completedMicros, 600000);  // no gaps between them
  EXPECT_EQ(out_->Close(), kWaveOk);
}

TEST_F(WaveOutputTest, ResetFromTheCallbackDoesNotWaitForItself) {
  Open(pcm16_);
  bool resetOnce = false;
  log_.onDone = [&](WaveHeader*) {
    if (!resetOnce) {
      resetOnce = true;
      EXPECT_EQ(out_->Reset(), kWaveOk);
    }
  };
  Queue(Buffer::Pattern(kBufferBytes, 14));
  Queue(Buffer::Pattern(kBufferBytes, 15));
  Queue(Buffer::Pattern(kBufferBytes, 16));
  ASSERT_TRUE(device_->StepMs(40));
  EXPECT_EQ(log_.Buffers().size(), 3u);
  EXPECT_EQ(out_->Close(), kWaveOk);
}

TEST_F(WaveOutputTest, AtSpeedTheClockNeverRunsAheadOfScaledRealTime) {
  device_->Clock().RunAtSpeed(10.0);
  Open(pcm16_);
  auto start = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < 5; ++i) Queue(Buffer::Pattern(kBufferBytes, 20 + i));
  ASSERT_TRUE(log_.WaitForBuffers(5));
  auto real = std::chrono::steady_clock::now() - start;
  EXPECT_GE(real, std::chrono::milliseconds(200 / 10));
  auto capture = device_->LastCapture();
  ASSERT_EQ(capture.buffers.size(), 5u);
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_GE(capture.buffers[i].completedMicros - capture.buffers[i - 1].completedMicros, 40000);
  }
  EXPECT_EQ(out_->Close(), kWaveOk);
}

TEST_F(WaveOutputTest, DestroyingAnOpenDeviceReturnsItsBuffersFirst) {
  Open(pcm16_);
  Queue(Buffer::Pattern(kBufferBytes, 30));
  Queue(Buffer::Pattern(kBufferBytes, 31));
  out_.reset();
  EXPECT_EQ(log_.Buffers().size(), 2u);
}

}  // namespace
}  // namespace wavetest
