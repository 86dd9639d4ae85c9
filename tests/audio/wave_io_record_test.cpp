// Recording through WaveIO: the samples that reach the file, amplification,
// voice activation and a write that fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "audio/level_measure.h"
#include "platform/last_error.h"
#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using WaveIORecordTest = WaveIOTest;

TEST_F(WaveIORecordTest, PcmFileHoldsExactlyTheRecordedSamplesUpToTheClose) {
  std::vector<uint8_t> input = Numbered(640 * 5 + 100);
  device_->SetInputBytes(input);
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  StepMs(40, 8);
  StepMs(10);  // a quarter of the ninth buffer
  EXPECT_TRUE(io_->IsRecording());
  EXPECT_TRUE(io_->Close());
  EXPECT_FALSE(io_->IsRecording());
  EXPECT_TRUE(io_->StopEvent.IsSet());
  stream_.Close();
  input.resize(640 * 8 + 160, 0);  // the virtual input is silent after the given bytes
  EXPECT_EQ(ReadForward(rec_), input);
}

TEST_F(WaveIORecordTest, GsmFileHoldsTheCodingOfTheRecordedSamples) {
  const std::vector<uint8_t> input = AsBytes(SpeechLike(320 * 6));
  device_->SetInputBytes(input);
  StartRecordingTo(stream_, audio::kFormatGsm610);
  StepMs(40, 6);
  Finish(stream_);
  EXPECT_EQ(ReadBytes(rec_).size(), 60u + 6 * 65);
  EXPECT_EQ(ReadBytes(rec_), ReadBytes(Recorded("ref-gsm.wav", audio::kFormatGsm610, input)));
}

TEST_F(WaveIORecordTest, AmplifiedInputIsWrittenAmplified) {
  std::vector<uint8_t> input(640 * 2);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(96 + i % 64);  // 8-bit around 128
  device_->SetInputBytes(input);
  settings::WriteAmplifyInput(settings_, 1);
  StartRecordingTo(stream_, audio::kFormatPcm8k8);
  StepMs(80, 2);
  Finish(stream_);
  std::vector<uint8_t> expected = input;
  const audio::WaveFormatEx format{audio::kWaveFormatPcm, 1, 8000, 8000, 1, 8, 0};
  audio::AmplifyBuffer(&format, expected.data(), static_cast<uint32_t>(expected.size()));
  ASSERT_NE(expected, input);
  EXPECT_EQ(ReadForward(rec_), expected);
}

// Speech-like bursts of 300 ms every 1800 ms, after 600 ms of given silence.
// A 40 ms block counts as voice when any of its samples lies in a burst.
class WaveIOVoiceActivationTest : public WaveIOTest {
 protected:
  void SetUp() override {
    WaveIOTest::SetUp();
    bursts_.kind = platform::VirtualWaveSignal::Kind::Speech;
    bursts_.level = 0.5;
    bursts_.onMs = 300;
    bursts_.offMs = 1500;
    device_->SetInputSignal(bursts_);
    meter_.Threshold = 10;
    audio::VasEnabled = 1;
  }
  bool Voiced(int block) const {
    if (block < kLeadingBlocks) return false;
    for (int ms = block * 40; ms < (block + 1) * 40; ++ms)
      if (platform::VirtualWaveDevice::SpeechOnAt(bursts_, ms / 1000.0)) return true;
    return false;
  }
  static constexpr int kLeadingBlocks = 15;
  platform::VirtualWaveSignal bursts_;
};

TEST_F(WaveIOVoiceActivationTest, QuietStretchesBeyondTheHangAreLeftOutAndVoiceIsKept) {
  device_->SetInputBytes(std::vector<uint8_t>(kLeadingBlocks * 640, 0));
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  const int blocks = 100;  // bursts at 1.8 s and 3.6 s
  StepMs(40, blocks);
  Finish(stream_);

  // Kept: voice, and quiet blocks that end within the hang after the last
  // voiced block; voiced blocks carry tone, the hang's are silence.
  std::vector<bool> expectSilent;
  double lastVoiceEnd = -1e9;
  int voiced = 0;
  for (int i = 0; i < blocks; ++i) {
    const double end = (i + 1) * 40.0;
    if (Voiced(i)) {
      lastVoiceEnd = end;
      ++voiced;
      expectSilent.push_back(false);
    } else if (end - lastVoiceEnd <= audio::kVasHangMs) {
      expectSilent.push_back(true);
    }
  }
  ASSERT_EQ(voiced, 16);
  ASSERT_LT(expectSilent.size(), 40u) << "most quiet blocks are dropped, the quiet start among them";
  const std::vector<uint8_t> data = ReadForward(rec_);
  ASSERT_EQ(data.size(), expectSilent.size() * 640);
  for (size_t k = 0; k < expectSilent.size(); ++k) {
    const auto block = data.begin() + static_cast<std::ptrdiff_t>(k * 640);
    EXPECT_EQ(std::all_of(block, block + 640, [](uint8_t b) { return b == 0; }), expectSilent[k]) << "block " << k;
  }
}

TEST_F(WaveIOVoiceActivationTest, ListeningWithoutARecordingMeasuresButWritesNothing) {
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  audio::RecordingActive = 0;
  StepMs(40);
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  EXPECT_GT(meter_.Level.load(), 10);
  EXPECT_TRUE(meter_.AboveThreshold.load());
  StepMs(40, 20);
  EXPECT_TRUE(io_->IsRecording());
  Finish(stream_);
  EXPECT_TRUE(ReadForward(rec_).empty());
}

TEST_F(WaveIORecordTest, PausedRecordingTakesNoSamplesUntilResumed) {
  device_->SetInputBytes(Numbered(640 * 20));
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  StepMs(40);
  StepMs(20);
  ASSERT_TRUE(io_->Pause());
  EXPECT_TRUE(io_->Paused);
  EXPECT_TRUE(io_->IsRecording());
  EXPECT_EQ(stream_.GetLengthFrames(), 480u);  // one buffer and the half the pause handed back
  StepMs(40, 10);
  EXPECT_EQ(stream_.GetLengthFrames(), 480u);
  ASSERT_TRUE(io_->Resume());
  EXPECT_FALSE(io_->Paused);
  StepMs(40);
  EXPECT_EQ(stream_.GetLengthFrames(), 480u + 320);
  EXPECT_TRUE(io_->Close());
}

// A file stream whose writes fail with "no space" after a while.
class FillingDiskStream : public audio::WaveFileStream {
 public:
  explicit FillingDiskStream(int goodWrites) : goodWrites_(goodWrites) {}
  bool Write(const void* samples, uint32_t frames) override {
    if (++writes_ <= goodWrites_) return WaveFileStream::Write(samples, frames);
    platform::SetLastError(ENOSPC);
    return false;
  }
  int Writes() const { return writes_; }

 private:
  int goodWrites_;
  int writes_ = 0;  // device thread only, read after it settled
};

TEST_F(WaveIORecordTest, FailedWriteStopsTheRecordingAndTellsWhy) {
  std::vector<uint8_t> input = Numbered(640 * 10);
  device_->SetInputBytes(input);
  FillingDiskStream full(2);
  StartRecordingTo(full, audio::kFormatPcm8k16);
  StepMs(40, 2);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->WriteFailed);
  StepMs(40);
  EXPECT_TRUE(io_->WriteFailed);
  EXPECT_EQ(io_->WriteError, ENOSPC);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  StepMs(40, 5);  // the two buffers still in the device come back unwritten
  EXPECT_EQ(full.Writes(), 3);
  EXPECT_FALSE(io_->IsRecording());
  Finish(full);
  EXPECT_TRUE(io_->WriteFailed);  // still there for the owner's message
  input.resize(640 * 2);
  EXPECT_EQ(ReadForward(rec_), input);
}

TEST_F(WaveIORecordTest, RefusedBufferFailsTheStartWithTheDeviceText) {
  platform::VirtualWaveFailures failures;
  failures.failAddFrom = 2;
  failures.queueError = platform::kWaveNoMemory;
  device_->SetFailures(failures);
  stream_.SetFormat(audio::kFormatPcm8k16);
  ASSERT_TRUE(stream_.Open(HostPath(dir_.File("refused.wav")), audio::kStreamWrite));
  Attach(&stream_);
  ASSERT_TRUE(io_->Open(audio::WaveDirection::Input));
  EXPECT_FALSE(io_->StartRecording(nullptr));
  EXPECT_EQ(io_->LastError, platform::kWaveNoMemory);
  ASSERT_NE(io_->GetErrorText(), nullptr);
  EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(platform::kWaveNoMemory));
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_TRUE(io_->Close());
}

}  // namespace
}  // namespace audiotest
