// The input device on the virtual backend: exact samples across stop and
// start, the sine signal, injected failures.

#include <algorithm>
#include <cstring>

#include "wave_test_support.h"

namespace wavetest {
namespace {

using namespace platform;

class WaveInputTest : public VirtualDeviceTest {
 protected:
  void Open(const WaveFormat& format) {
    ASSERT_EQ(WaveInDevice::Open(in_, kWaveMapper, format,
                                 [this](WaveInDevice*, uint32_t message, uintptr_t, WaveHeader* h) {
                                   log_.Record(message, h);
                                 },
                                 0),
              kWaveOk);
  }
  Buffer* Add() {
    auto b = std::make_unique<Buffer>(std::vector<char>(kBufferBytes, '\x55'));
    EXPECT_EQ(in_->Prepare(&b->header), kWaveOk);
    EXPECT_EQ(in_->AddBuffer(&b->header), kWaveOk);
    buffers_.push_back(std::move(b));
    return buffers_.back().get();
  }
  // Gives the device `size` bytes of a pattern to record.
  void FeedPattern(size_t size, unsigned modulo) {
    input_.resize(size);
    for (size_t i = 0; i < size; ++i) input_[i] = static_cast<uint8_t>(i * 7 % modulo + i / 256);
    device_->SetInputBytes(input_);
  }
  // The first `count` bytes of `bytes` are the input from `from` on.
  bool HoldsInput(const char* bytes, size_t from, size_t count) const {
    return std::memcmp(bytes, input_.data() + from, count) == 0;
  }
  CallbackLog log_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::vector<uint8_t> input_;
  std::unique_ptr<WaveInDevice> in_;
};

TEST_F(WaveInputTest, StopKeepsThePlaceAndTimeWithoutABufferIsLost) {
  FeedPattern(kBufferBytes * 3, 253);
  Open(pcm16_);
  Buffer* a = Add();
  Buffer* b = Add();
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(10));
  // Stop returns the partly filled buffer and leaves the empty one queued.
  ASSERT_EQ(in_->Stop(), kWaveOk);
  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].header, &a->header);
  EXPECT_EQ(done[0].bytesRecorded, 160u);
  EXPECT_TRUE(HoldsInput(a->bytes.data(), 0, 160));
  EXPECT_TRUE(in_->HeaderFlags(&b->header) & kWaveHeaderInQueue);

  // Stopped: time passes, nothing is recorded.
  ASSERT_TRUE(device_->StepMs(500));
  EXPECT_EQ(log_.Buffers().size(), 1u);
  EXPECT_EQ(in_->Close(), kWaveStillPlaying);

  // Started again, recording carries on with the following samples.
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 2u);
  EXPECT_TRUE(HoldsInput(b->bytes.data(), 160, kBufferBytes));

  // Running without a buffer, 20 ms go unrecorded; a buffer added then is
  // filled from that moment on.
  ASSERT_TRUE(device_->StepMs(20));
  Buffer* c = Add();
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 3u);
  EXPECT_TRUE(HoldsInput(c->bytes.data(), 160 + kBufferBytes + 320, kBufferBytes));
  EXPECT_EQ(in_->Close(), kWaveOk);
}

TEST_F(WaveInputTest, SineSignalReachesItsLevelInBothSampleWidths) {
  VirtualWaveSignal sine;
  sine.kind = VirtualWaveSignal::Kind::Sine;
  sine.level = 0.5;
  sine.frequencyHz = 1000;
  device_->SetInputSignal(sine);
  for (uint16_t bits : {16, 8}) {
    buffers_.clear();
    Open(MakePcmFormat(8000, bits, 1));
    Add();
    ASSERT_EQ(in_->Start(), kWaveOk);
    ASSERT_TRUE(device_->StepMs(80));
    const std::vector<char>& bytes = buffers_[0]->bytes;
    int lo = 1 << 16, hi = -lo;
    for (size_t i = 0; i < bytes.size(); i += bits / 8) {
      int16_t v = static_cast<uint8_t>(bytes[i]) - 128;
      if (bits == 16) std::memcpy(&v, &bytes[i], 2);
      lo = std::min<int>(lo, v);
      hi = std::max<int>(hi, v);
    }
    const int full = bits == 16 ? 32768 : 128;
    EXPECT_NEAR(hi, full / 2, bits == 16 ? 200 : 2) << bits;
    EXPECT_NEAR(lo, -full / 2, bits == 16 ? 200 : 2) << bits;
    ASSERT_EQ(in_->Reset(), kWaveOk);
    ASSERT_EQ(in_->Close(), kWaveOk);
  }
}

TEST_F(WaveInputTest, InjectedFailuresComeBackAsTheirCodes) {
  auto fail = [this](auto set) {
    VirtualWaveFailures failures;
    set(failures);
    device_->SetFailures(failures);
  };
  fail([](VirtualWaveFailures& f) { f.openInput = kWaveAllocated; });
  EXPECT_EQ(WaveInDevice::Open(in_, kWaveMapper, pcm16_, nullptr, 0), kWaveAllocated);
  EXPECT_EQ(in_, nullptr);

  fail([](VirtualWaveFailures& f) { f.refuseRate = 11025; });
  const WaveFormat refused = MakePcmFormat(11025, 8, 1);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, refused), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, refused), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Open(in_, kWaveMapper, refused, nullptr, 0), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, pcm16_), kWaveOk);

  fail([](VirtualWaveFailures& f) {
    f.failAddFrom = 2;
    f.queueError = kWaveNoMemory;
  });
  Open(pcm16_);
  Add();
  Buffer second{std::vector<char>(kBufferBytes)};
  ASSERT_EQ(in_->Prepare(&second.header), kWaveOk);
  EXPECT_EQ(in_->AddBuffer(&second.header), kWaveNoMemory);
  EXPECT_FALSE(in_->HeaderFlags(&second.header) & kWaveHeaderInQueue);
  EXPECT_EQ(in_->Unprepare(&second.header), kWaveOk);
  ASSERT_EQ(in_->Reset(), kWaveOk);
  EXPECT_EQ(in_->Close(), kWaveOk);

  std::unique_ptr<WaveOutDevice> out;
  fail([](VirtualWaveFailures& f) { f.failWriteFrom = 1; });
  ASSERT_EQ(WaveOutDevice::Open(out, kWaveMapper, pcm16_, nullptr, 0), kWaveOk);
  auto c = Buffer::Pattern(kBufferBytes, 1);
  ASSERT_EQ(out->Prepare(&c->header), kWaveOk);
  EXPECT_EQ(out->Write(&c->header), kWaveError);
  EXPECT_EQ(out->Close(), kWaveOk);  // nothing was queued

}

}  // namespace
}  // namespace wavetest
