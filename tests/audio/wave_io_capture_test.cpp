// What recording keeps of the input: voice activation's pre-roll (the input
// just before speech, from memory), and a write that stalls while the input
// runs on, as a microphone's does (the virtual device's live input): within
// the capture ring nothing is lost, beyond it the loss is counted exactly.

#include <gtest/gtest.h>

#include <errno.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/last_error.h"
#include "platform/wave_device.h"
#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

constexpr size_t kBlock = 640;  // 40 ms at 8000 Hz 16-bit

// 'V' blocks are loud, 'q' blocks quiet (far below any threshold); every
// sample is its own, so any stretch of the file can be told apart.
Bytes PatternBlocks(const std::string& pattern) {
  Bytes out;
  uint32_t state = 99;
  for (char c : pattern) {
    for (size_t i = 0; i < kBlock / 2; ++i) {
      state = state * 1664525u + 1013904223u;
      const int spread = static_cast<int>(state >> 22);  // 0..1023
      const int sample = c == 'V' ? (i % 2 ? 20000 : -20000) + spread : spread % 40 + 1;
      out.push_back(static_cast<uint8_t>(sample & 0xFF));
      out.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
    }
  }
  return out;
}

// The file voice activation makes of the blocks: voice; quiet within the
// hang after voice (buffers complete every 40 ms); and ahead of each voiced
// block, the last preRoll bytes of what was dropped before it.
Bytes Expected(const std::string& pattern, const Bytes& input, size_t preRoll) {
  Bytes out, dropped;
  int lastVoice = -1000;
  for (size_t k = 0; k < pattern.size(); ++k) {
    const auto block = input.begin() + static_cast<ptrdiff_t>(k * kBlock);
    if (pattern[k] == 'V') {
      const size_t keep = std::min(preRoll, dropped.size());
      out.insert(out.end(), dropped.end() - static_cast<ptrdiff_t>(keep), dropped.end());
      dropped.clear();
      out.insert(out.end(), block, block + kBlock);
      lastVoice = static_cast<int>(k);
    } else if (lastVoice >= 0 && (static_cast<int>(k) - lastVoice) * 40 <= static_cast<int>(audio::kVasHangMs)) {
      out.insert(out.end(), block, block + kBlock);
    } else {
      dropped.insert(dropped.end(), block, block + kBlock);
    }
  }
  return out;
}

using WaveIOCaptureTest = WaveIOTest;

// A stretch gets the input of the pre-roll before its first loud buffer (at
// the start too, as far as there is input); stretches whose gap is within
// pre-roll and hang join without a gap or a doubled sample; 0 is voice
// activation as the handheld had it.
TEST_F(WaveIOCaptureTest, PreRollWritesTheInputBeforeSpeechFromMemory) {
  const std::string q20(20, 'q'), q40(40, 'q');
  const std::string pattern = "qqq" + std::string("VVV") + q20 + "VV" + q40 + "V" + std::string(22, 'q') + "VV" + "qq";
  struct Case {
    uint32_t preRollMs;
    size_t preRollBytes;
  };
  for (const Case& c : {Case{0, 0}, Case{300, 4800}, Case{700, 11200}, Case{1000, 16000}}) {
    SCOPED_TRACE(c.preRollMs);
    const Bytes input = PatternBlocks(pattern);
    device_->SetInputBytes(input);
    meter_.Threshold = 10;
    audio::VasEnabled = 1;
    io_->PreRollMs = c.preRollMs;
    audio::WaveFileStream stream;
    StartRecordingTo(stream, audio::kFormatPcm8k16);
    StepMs(40, static_cast<int>(pattern.size()));
    Finish(stream);
    const Bytes file = ReadForward(rec_);
    const Bytes expected = Expected(pattern, input, c.preRollBytes);
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
  }
}

// GSM codes whole device blocks: the pre-roll is rounded up to them.
TEST_F(WaveIOCaptureTest, GsmPreRollIsWholeBlocks) {
  const std::string pattern = std::string(30, 'q') + "VV" + std::string(10, 'q');
  device_->SetInputBytes(PatternBlocks(pattern));
  meter_.Threshold = 10;
  audio::VasEnabled = 1;
  io_->PreRollMs = 300;  // 7.5 blocks: 8
  audio::WaveFileStream stream;
  StartRecordingTo(stream, audio::kFormatGsm610);
  StepMs(40, static_cast<int>(pattern.size()));
  Finish(stream);
  audio::WaveFileStream read;
  ASSERT_TRUE(read.Open(HostPath(rec_), audio::kStreamRead));
  EXPECT_EQ(read.GetDataBytes(), (8 + 2 + 10) * 65u) << "pre-roll, voice, hang";
}

// Writes that take their time, while the clock (and the live input) runs on.
class StallingStream : public audio::WaveFileStream {
 public:
  // `held` runs at the end of the stall, before the write goes on.
  StallingStream(platform::VirtualWaveDevice& device, int stallAt, int stallMs, std::function<void()> held = {})
      : device_(device), stallAt_(stallAt), stallMs_(stallMs), held_(std::move(held)) {}
  // From then on every write fails as on a full disk.
  void FailFromNow() { failing_ = true; }
  bool Write(const void* samples, uint32_t frames) override {
    if (failing_) {
      platform::SetLastError(ENOSPC);
      return false;
    }
    if (++writes_ == stallAt_) {
      // The disk holds this write up; the capture goes on meanwhile.
      for (int ms = 0; ms < stallMs_; ms += 20) {
        device_.Clock().Advance(20000);
        EXPECT_TRUE(platform::WaveDevice::WaitUntilAllSettled(10000, true));
      }
      if (held_) held_();
    }
    return audio::WaveFileStream::Write(samples, frames);
  }

 private:
  platform::VirtualWaveDevice& device_;
  const int stallAt_;
  const int stallMs_;
  const std::function<void()> held_;
  int writes_ = 0;
  std::atomic<bool> failing_{false};
};

// A stall within the ring loses nothing and the capture catches up: the
// file holds every sample up to Stop. Beyond the ring, exactly what did not
// fit is lost, counted, and missing from the file: the newest input of the
// stall, not a sample more.
TEST_F(WaveIOCaptureTest, AStalledWriteLosesNothingWithinTheRingAndCountsWhatOverruns) {
  struct Case {
    int stallMs;
    uint32_t lostMs;
  };
  for (const Case& c : {Case{2000, 0}, Case{6000, 0}, Case{10000, 2000}}) {
    SCOPED_TRACE(c.stallMs);
    Renew();
    device_->SetInputLive(true);
    const Bytes input = Numbered(16000 * 20);
    device_->SetInputBytes(input);
    StallingStream stream(*device_, 25, c.stallMs);  // a second in
    StartRecordingTo(stream, audio::kFormatPcm8k16);
    StepMs(40, 50);
    const int64_t elapsedMs = device_->Clock().NowMicros() / 1000;
    ASSERT_EQ(elapsedMs, 2000 + c.stallMs);
    Finish(stream);
    EXPECT_EQ(io_->LostInputMs(), c.lostMs);
    Bytes expected(input.begin(), input.begin() + elapsedMs * 16);
    // The ring filled 8 s after the stall began.
    const size_t holeStart = (1000 + 8000) * 16;
    if (c.lostMs != 0) {
      expected.erase(expected.begin() + static_cast<ptrdiff_t>(holeStart),
                     expected.begin() + static_cast<ptrdiff_t>(holeStart + c.lostMs * 16));
    }
    const Bytes file = ReadForward(rec_);
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
  }
}

// Stopped while a write is held up (the person taps Stop during the stall):
// what the ring captured until the stop still goes into the file after the
// write, every sample of it, and none counts as lost. Under voice activation
// the speech that began during the stall is judged by its own level and kept.
// A disk that fills meanwhile fails the first write after the held one: the
// file keeps what was written, and the failure is left for the owner to tell.
TEST_F(WaveIOCaptureTest, AStopWhileAWriteIsHeldUpKeepsEverythingTheRingCaptured) {
  struct Case {
    bool vas;
    bool diskFills;
  };
  for (const Case& c : {Case{false, false}, Case{true, false}, Case{false, true}}) {
    SCOPED_TRACE(c.vas * 10 + c.diskFills);
    const bool vas = c.vas;
    Renew();
    device_->SetInputLive(true);
    // Voice activation: speech, quiet past the hang (the held write is one of
    // its buffers), and speech again from block 24 on, while the write is held.
    const Bytes input = vas ? PatternBlocks("VV" + std::string(22, 'q') + std::string(40, 'V')) : Numbered(16000 * 10);
    device_->SetInputBytes(input);
    audio::VasEnabled = vas ? 1 : 0;
    meter_.Threshold = 10;
    io_->PreRollMs = 0;
    std::thread stop;
    std::atomic<bool> stopped{false};
    int64_t stopMs = 0;
    StallingStream* held = nullptr;
    StallingStream stream(*device_, 10, 1000, [&] {
      stopMs = device_->Clock().NowMicros() / 1000;
      if (c.diskFills) held->FailFromNow();
      stop = std::thread([&] {
        EXPECT_TRUE(io_->Close());
        stopped = true;
      });
      while (io_->Stopping.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    held = &stream;
    StartRecordingTo(stream, audio::kFormatPcm8k16);
    for (int i = 0; i < 100 && !stopped; ++i) StepMs(40);
    ASSERT_TRUE(stop.joinable());
    stop.join();
    stream.Close();
    EXPECT_EQ(io_->LostInputMs(), 0u);
    ASSERT_EQ(stopMs, 1400) << "stopped after ten buffers and the stall's second";
    const Bytes file = ReadForward(rec_);
    const size_t captured = static_cast<size_t>(stopMs * 16);
    EXPECT_EQ(io_->WriteFailed.load(), c.diskFills ? 1 : 0);
    if (c.diskFills) {
      EXPECT_EQ(io_->WriteError.load(), ENOSPC);
      EXPECT_EQ(file.size(), 10 * kBlock) << "the blocks written up to the held one";
      EXPECT_TRUE(std::equal(file.begin(), file.end(), input.begin()));
    } else if (!vas) {
      EXPECT_EQ(file.size(), captured);
      EXPECT_TRUE(std::equal(file.begin(), file.end(), input.begin())) << "the input from its first sample";
    } else {
      const size_t speech = captured - 24 * kBlock;
      ASSERT_GE(file.size(), speech);
      EXPECT_TRUE(std::equal(file.end() - static_cast<ptrdiff_t>(speech), file.end(), input.begin() + 24 * kBlock))
          << "the speech up to the stop";
    }
  }
}

}  // namespace
}  // namespace audiotest
