// Recording through WaveIO: the samples that reach the file, amplification,
// voice activation and a write that fails.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "audio/level_measure.h"
#include "platform/last_error.h"
#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using audio::WaveFileStream;

class WaveIORecordTest : public WaveIOTest {
 protected:
  // The data chunk of a recorded file as the player reads it.
  std::vector<uint8_t> RecordedData(const std::string& path) { return ReadForward(path); }
};

TEST_F(WaveIORecordTest, PcmFileHoldsExactlyTheRecordedSamples) {
  std::vector<uint8_t> input = Numbered(640 * 5 + 100);
  device_->SetInputBytes(input);
  const std::string path = dir_.File("rec.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k16);
  EXPECT_TRUE(io_->IsRecording());
  EXPECT_FALSE(io_->StopEvent.IsSet());

  for (int i = 0; i < 8; ++i) StepMs(40);
  EXPECT_TRUE(io_->IsRecording());
  EXPECT_TRUE(io_->Close());
  EXPECT_FALSE(io_->IsRecording());
  EXPECT_TRUE(io_->StopEvent.IsSet());
  stream_.Close();

  input.resize(640 * 8, 0);  // the virtual input is silent after the given bytes
  EXPECT_EQ(RecordedData(path), input);
}

TEST_F(WaveIORecordTest, CloseKeepsTheSamplesOfTheBufferBeingFilled) {
  std::vector<uint8_t> input = Numbered(640 * 3);
  device_->SetInputBytes(input);
  const std::string path = dir_.File("partial.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k16);
  StepMs(40);
  StepMs(10);  // a quarter of the second buffer
  EXPECT_TRUE(io_->Close());
  stream_.Close();
  input.resize(640 + 160);
  EXPECT_EQ(RecordedData(path), input);
}

TEST_F(WaveIORecordTest, GsmFileHoldsTheCodingOfTheRecordedSamples) {
  const std::vector<uint8_t> input = AsBytes(SpeechLike(320 * 6));
  device_->SetInputBytes(input);
  const std::string path = dir_.File("rec-gsm.wav");
  StartRecordingTo(stream_, path, audio::kFormatGsm610);
  for (int i = 0; i < 6; ++i) StepMs(40);
  EXPECT_TRUE(io_->Close());
  stream_.Close();

  const std::string reference = dir_.File("ref-gsm.wav");
  ASSERT_TRUE(Record(reference, audio::kFormatGsm610, input));
  const std::vector<uint8_t> recorded = ReadBytes(path);
  EXPECT_EQ(recorded.size(), 60u + 6 * 65);
  EXPECT_EQ(recorded, ReadBytes(reference));
}

TEST_F(WaveIORecordTest, AmplifiedInputIsWrittenAmplified) {
  std::vector<uint8_t> input(640 * 2);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(96 + i % 64);  // 8-bit around 128
  device_->SetInputBytes(input);
  settings::WriteAmplifyInput(settings_, 1);
  const std::string path = dir_.File("loud.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k8);
  StepMs(80);
  StepMs(80);
  EXPECT_TRUE(io_->Close());
  stream_.Close();

  std::vector<uint8_t> expected = input;
  const audio::WaveFormatEx format{audio::kWaveFormatPcm, 1, 8000, 8000, 1, 8, 0};
  audio::AmplifyBuffer(&format, expected.data(), static_cast<uint32_t>(expected.size()));
  ASSERT_NE(expected, input);
  EXPECT_EQ(RecordedData(path), expected);
}

// Speech-like bursts: 300 ms of tone, then 1500 ms of silence, repeated;
// the input opens with 600 ms of given silence. A block counts as voice when
// any of its samples lies in a burst.
class WaveIOVoiceActivationTest : public WaveIORecordTest {
 protected:
  static constexpr double kBlockMs = 40;  // 640 bytes at 8000 Hz 16-bit

  platform::VirtualWaveSignal Bursts() const {
    platform::VirtualWaveSignal s;
    s.kind = platform::VirtualWaveSignal::Kind::Speech;
    s.level = 0.5;
    s.onMs = 300;
    s.offMs = 1500;
    return s;
  }
  static constexpr int kLeadingBlocks = 15;  // 600 ms

  bool Voiced(int block) const {
    if (block < kLeadingBlocks) return false;
    for (int ms = static_cast<int>(block * kBlockMs); ms < (block + 1) * kBlockMs; ++ms) {
      if (platform::VirtualWaveDevice::SpeechOnAt(Bursts(), ms / 1000.0)) return true;
    }
    return false;
  }
  static bool Silent(const uint8_t* block) {
    for (size_t i = 0; i < 640; ++i) {
      if (block[i] != 0) return false;
    }
    return true;
  }
};

TEST_F(WaveIOVoiceActivationTest, QuietStretchesBeyondTheHangAreLeftOutAndVoiceIsKept) {
  device_->SetInputBytes(std::vector<uint8_t>(kLeadingBlocks * 640, 0));
  device_->SetInputSignal(Bursts());
  meter_.Threshold = 10;
  audio::VasEnabled = 1;
  const std::string path = dir_.File("vas.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k16);
  const int blocks = 100;  // bursts at 1.8 s and 3.6 s
  for (int i = 0; i < blocks; ++i) StepMs(kBlockMs);
  EXPECT_TRUE(io_->Close());
  stream_.Close();

  // Which blocks the rule keeps: voice, and quiet blocks that end within the
  // hang after the end of the last voiced block.
  std::vector<bool> kept(blocks);
  double lastVoiceEnd = -1e9;
  int voicedCount = 0;
  int droppedCount = 0;
  for (int i = 0; i < blocks; ++i) {
    const double end = (i + 1) * kBlockMs;
    if (Voiced(i)) {
      kept[i] = true;
      lastVoiceEnd = end;
      ++voicedCount;
    } else {
      kept[i] = end - lastVoiceEnd <= audio::kVasHangMs;
      droppedCount += kept[i] ? 0 : 1;
    }
  }
  ASSERT_EQ(voicedCount, 16);
  ASSERT_GT(droppedCount, 60);
  ASSERT_FALSE(kept[0]);  // the quiet start is not written

  // The file is the kept blocks in order: voiced ones carry tone, the hang's
  // are silence.
  const std::vector<uint8_t> data = RecordedData(path);
  std::vector<bool> expectSilent;
  for (int i = 0; i < blocks; ++i) {
    if (kept[i]) expectSilent.push_back(!Voiced(i));
  }
  ASSERT_EQ(data.size(), expectSilent.size() * 640);
  for (size_t k = 0; k < expectSilent.size(); ++k) {
    EXPECT_EQ(Silent(data.data() + k * 640), expectSilent[k]) << "block " << k;
  }
}

TEST_F(WaveIOVoiceActivationTest, ListeningWithoutARecordingMeasuresButWritesNothing) {
  device_->SetInputSignal(Bursts());
  meter_.Threshold = 10;
  audio::VasEnabled = 1;
  const std::string path = dir_.File("listen.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k16);
  audio::RecordingActive = 0;

  StepMs(kBlockMs);
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  EXPECT_GT(meter_.Level.load(), 10);
  EXPECT_TRUE(meter_.AboveThreshold.load());
  for (int i = 0; i < 20; ++i) StepMs(kBlockMs);
  EXPECT_TRUE(io_->IsRecording());
  EXPECT_TRUE(io_->Close());
  stream_.Close();
  EXPECT_TRUE(RecordedData(path).empty());
}

TEST_F(WaveIORecordTest, PausedRecordingTakesNoSamplesUntilResumed) {
  device_->SetInputBytes(Numbered(640 * 20));
  const std::string path = dir_.File("paused.wav");
  StartRecordingTo(stream_, path, audio::kFormatPcm8k16);
  StepMs(40);
  StepMs(20);
  ASSERT_TRUE(io_->Pause());
  EXPECT_TRUE(io_->Paused);
  EXPECT_TRUE(io_->IsRecording());
  const uint32_t frames = stream_.GetLengthFrames();
  EXPECT_EQ(frames, 480u);  // one buffer and the half the pause handed back
  for (int i = 0; i < 10; ++i) StepMs(40);
  EXPECT_EQ(stream_.GetLengthFrames(), frames);

  ASSERT_TRUE(io_->Resume());
  EXPECT_FALSE(io_->Paused);
  StepMs(40);
  EXPECT_EQ(stream_.GetLengthFrames(), frames + 320);
  EXPECT_TRUE(io_->Close());
}

// A file stream whose writes start failing with "no space" after a while.
class FillingDiskStream : public WaveFileStream {
 public:
  explicit FillingDiskStream(int goodWrites) : goodWrites_(goodWrites) {}
  bool Write(const void* samples, uint32_t frames) override {
    ++writes_;
    if (writes_ > goodWrites_) {
      platform::SetLastError(ENOSPC);
      return false;
    }
    return WaveFileStream::Write(samples, frames);
  }
  int Writes() const { return writes_; }

 private:
  int goodWrites_;
  int writes_ = 0;  // device thread only, read after it settled
};

TEST_F(WaveIORecordTest, FailedWriteStopsTheRecordingAndTellsWhy) {
  std::vector<uint8_t> input = Numbered(640 * 10);
  device_->SetInputBytes(input);
  const std::string path = dir_.File("full.wav");
  FillingDiskStream full(2);
  StartRecordingTo(full, path, audio::kFormatPcm8k16);
  StepMs(40);
  StepMs(40);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->WriteFailed);

  StepMs(40);
  EXPECT_TRUE(io_->WriteFailed);
  EXPECT_EQ(io_->WriteError, ENOSPC);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  // The two buffers still in the device come back and are not written.
  for (int i = 0; i < 5; ++i) StepMs(40);
  EXPECT_EQ(full.Writes(), 3);
  EXPECT_FALSE(io_->IsRecording());

  EXPECT_TRUE(io_->Close());
  EXPECT_TRUE(io_->WriteFailed);  // still there for the owner's message
  full.Close();
  input.resize(640 * 2);
  EXPECT_EQ(RecordedData(path), input);
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
