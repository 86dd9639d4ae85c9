// The input device on the virtual backend: exact samples, signals, stop and
// reset, re-entrant callbacks, injected failures.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
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
  // Requeues every returned buffer from the callback, copying what it holds.
  void Recycle() {
    log_.onDone = [this](WaveHeader* h) {
      recorded_.insert(recorded_.end(), h->data, h->data + h->bytesRecorded);
      if (!stopping_) {
        EXPECT_EQ(in_->AddBuffer(h), kWaveOk);
      }
    };
  }
  // Takes every buffer back for good.
  void ResetForGood() {
    stopping_ = true;
    ASSERT_EQ(in_->Reset(), kWaveOk);
  }

  std::atomic<bool> stopping_{false};
  CallbackLog log_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::vector<char> recorded_;  // device thread only while the device runs
  std::unique_ptr<WaveInDevice> in_;
};

std::vector<int16_t> Samples(const std::vector<char>& bytes) {
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

TEST_F(WaveInputTest, GivenSamplesArriveExactlyAndInOrder) {
  std::vector<uint8_t> input(kBufferBytes * 4 + 100);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7 + i / 256);
  device_->SetInputBytes(input);
  Open(pcm16_);
  Add();
  Add();
  Add();
  Recycle();
  ASSERT_EQ(in_->Start(), kWaveOk);

  ASSERT_TRUE(device_->StepMs(119.9));
  EXPECT_EQ(log_.Buffers().size(), 2u);
  ASSERT_TRUE(device_->StepMs(0.1 + 40 * 3));
  ResetForGood();
  ASSERT_EQ(in_->Close(), kWaveOk);

  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 9u);  // six full, then the three taken back by the reset
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(done[i].bytesRecorded, kBufferBytes);
    EXPECT_EQ(done[i].header, &buffers_[i % 3]->header);
    EXPECT_TRUE(done[i].flags & kWaveHeaderDone);
  }
  for (size_t i = 6; i < 9; ++i) EXPECT_EQ(done[i].bytesRecorded, 0u);
  ASSERT_EQ(recorded_.size(), kBufferBytes * 6);
  EXPECT_TRUE(std::equal(input.begin(), input.end(), reinterpret_cast<uint8_t*>(recorded_.data())));
  // After the given samples the input is silent.
  for (size_t i = input.size(); i < recorded_.size(); ++i) ASSERT_EQ(recorded_[i], 0) << i;
}

TEST_F(WaveInputTest, SineSignalReachesItsLevelInBothSampleWidths) {
  VirtualWaveSignal sine;
  sine.kind = VirtualWaveSignal::Kind::Sine;
  sine.level = 0.5;
  sine.frequencyHz = 1000;
  device_->SetInputSignal(sine);

  Open(pcm16_);
  Add();
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 1u);
  int peak = 0;
  for (int16_t s : Samples(buffers_[0]->bytes)) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_NEAR(peak, 16384, 200);
  ASSERT_EQ(in_->Close(), kWaveOk);

  buffers_.clear();
  Open(MakePcmFormat(8000, 8, 1));
  Add();
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(80));
  int lo = 255, hi = 0;
  for (char c : buffers_[0]->bytes) {
    lo = std::min(lo, static_cast<int>(static_cast<uint8_t>(c)));
    hi = std::max(hi, static_cast<int>(static_cast<uint8_t>(c)));
  }
  EXPECT_NEAR(hi, 128 + 64, 2);
  EXPECT_NEAR(lo, 128 - 64, 2);
}

TEST_F(WaveInputTest, SpeechBurstsFollowTheirOnOffPattern) {
  VirtualWaveSignal speech;
  speech.kind = VirtualWaveSignal::Kind::Speech;
  speech.level = 0.8;
  speech.frequencyHz = 300;
  speech.onMs = 120;
  speech.offMs = 200;
  device_->SetInputSignal(speech);
  Open(pcm16_);
  Add();
  Add();
  Add();
  Recycle();
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(960));
  ResetForGood();

  auto s = Samples(recorded_);
  ASSERT_EQ(s.size(), 960u * 8);
  // Judge 10 ms windows by their peak.
  for (size_t w = 0; w < s.size() / 80; ++w) {
    int peak = 0;
    for (size_t i = w * 80; i < (w + 1) * 80; ++i) peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    bool on = VirtualWaveDevice::SpeechOnAt(speech, w * 0.010);
    if (on) EXPECT_GT(peak, 20000) << "window " << w;
    else EXPECT_EQ(peak, 0) << "window " << w;
  }
}

TEST_F(WaveInputTest, StopReturnsThePartlyFilledBufferAndLeavesEmptyOnesQueued) {
  std::vector<uint8_t> input(kBufferBytes * 2);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i % 251);
  device_->SetInputBytes(input);
  Open(pcm16_);
  Buffer* a = Add();
  Buffer* b = Add();
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(10));

  ASSERT_EQ(in_->Stop(), kWaveOk);
  auto done = log_.Buffers();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].header, &a->header);
  EXPECT_EQ(done[0].bytesRecorded, 160u);
  EXPECT_TRUE(std::equal(input.begin(), input.begin() + 160, reinterpret_cast<uint8_t*>(a->bytes.data())));
  EXPECT_TRUE(in_->HeaderFlags(&b->header) & kWaveHeaderInQueue);

  // Stopped: time passes, nothing is recorded.
  ASSERT_TRUE(device_->StepMs(500));
  EXPECT_EQ(log_.Buffers().size(), 1u);
  EXPECT_EQ(in_->Close(), kWaveStillPlaying);

  // Started again, recording carries on with the following samples.
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 2u);
  EXPECT_TRUE(std::equal(input.begin() + 160, input.begin() + 160 + kBufferBytes,
                         reinterpret_cast<uint8_t*>(b->bytes.data())));
  EXPECT_EQ(in_->Close(), kWaveOk);
}

TEST_F(WaveInputTest, InjectedFailuresComeBackAsTheirCodes) {
  VirtualWaveFailures failures;
  failures.openInput = kWaveAllocated;
  device_->SetFailures(failures);
  EXPECT_EQ(WaveInDevice::Open(in_, kWaveMapper, pcm16_, nullptr, 0), kWaveAllocated);
  EXPECT_EQ(in_, nullptr);

  failures = {};
  failures.refuseRate = 11025;
  device_->SetFailures(failures);
  WaveFormat refused = MakePcmFormat(11025, 8, 1);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, refused), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, refused), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Open(in_, kWaveMapper, refused, nullptr, 0), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, pcm16_), kWaveOk);

  failures = {};
  failures.failAddFrom = 2;
  failures.queueError = kWaveNoMemory;
  device_->SetFailures(failures);
  Open(pcm16_);
  Add();
  auto b = std::make_unique<Buffer>(std::vector<char>(kBufferBytes));
  ASSERT_EQ(in_->Prepare(&b->header), kWaveOk);
  EXPECT_EQ(in_->AddBuffer(&b->header), kWaveNoMemory);
  EXPECT_FALSE(in_->HeaderFlags(&b->header) & kWaveHeaderInQueue);
  EXPECT_EQ(in_->Unprepare(&b->header), kWaveOk);
  ASSERT_EQ(in_->Reset(), kWaveOk);
  EXPECT_EQ(in_->Close(), kWaveOk);

  failures = {};
  failures.openOutput = kWaveNoDriver;
  device_->SetFailures(failures);
  std::unique_ptr<WaveOutDevice> out;
  EXPECT_EQ(WaveOutDevice::Open(out, kWaveMapper, pcm16_, nullptr, 0), kWaveNoDriver);

  failures = {};
  failures.failWriteFrom = 1;
  device_->SetFailures(failures);
  ASSERT_EQ(WaveOutDevice::Open(out, kWaveMapper, pcm16_, nullptr, 0), kWaveOk);
  auto c = Buffer::Pattern(kBufferBytes, 1);
  ASSERT_EQ(out->Prepare(&c->header), kWaveOk);
  EXPECT_EQ(out->Write(&c->header), kWaveError);
  EXPECT_EQ(out->Close(), kWaveOk);  // nothing was queued

  failures = {};
  failures.refuseFormats = true;
  device_->SetFailures(failures);
  EXPECT_EQ(WaveOutDevice::Open(out, kWaveMapper, pcm16_, nullptr, 0), kWaveBadFormat);
}

TEST_F(WaveInputTest, AnAddedBufferWhileRunningIsFilledFromThatMomentOn) {
  std::vector<uint8_t> input(kBufferBytes * 3);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i % 253);
  device_->SetInputBytes(input);
  Open(pcm16_);
  ASSERT_EQ(in_->Start(), kWaveOk);
  ASSERT_TRUE(device_->StepMs(20));  // nobody takes these 20 ms
  Buffer* a = Add();
  ASSERT_TRUE(device_->StepMs(40));
  ASSERT_EQ(log_.Buffers().size(), 1u);
  EXPECT_TRUE(std::equal(input.begin() + 320, input.begin() + 320 + kBufferBytes,
                         reinterpret_cast<uint8_t*>(a->bytes.data())));
}

}  // namespace
}  // namespace wavetest
