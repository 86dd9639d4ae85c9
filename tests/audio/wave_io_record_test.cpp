// Recording through WaveIO: the samples that reach the file, voice activation
// and a write that fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "audio/level_measure.h"
#include "platform/last_error.h"
#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using WaveIORecordTest = WaveIOTest;

// A close keeps the samples of the buffer being filled; the virtual input
// is silent after the given bytes. GSM records amplified here.
TEST_F(WaveIORecordTest, FilesHoldExactlyTheRecordedSamplesOrTheirCoding) {
  Bytes input = Numbered(640 * 5 + 100);
  device_->SetInputBytes(input);
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  StepMs(40, 8);
  StepMs(10);
  Finish(stream_);
  input.resize(640 * 8 + 160, 0);
  EXPECT_EQ(ReadForward(rec_), input);

  input = AsBytes(SpeechLike(320 * 6));
  device_->SetInputBytes(input);
  settings::WriteAmplifyInput(settings_, 1);
  StartRecordingTo(stream_, audio::kFormatGsm610);
  StepMs(40, 6);
  Finish(stream_);
  audio::AmplifyBuffer(audio::GsmDeviceFormat(), input.data(), static_cast<uint32_t>(input.size()));
  EXPECT_EQ(ReadBytes(rec_), ReadBytes(Recorded("ref.wav", audio::kFormatGsm610, input)));
}

// Pausing hands over the buffer being filled with what it holds; nothing is
// taken in while paused, and Resume carries on where the input stopped.
TEST_F(WaveIORecordTest, PauseKeepsThePartBufferAndResumeContinuesWithoutAGap) {
  const Bytes input = Numbered(640 * 8);
  device_->SetInputBytes(input);
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  StepMs(40, 2);
  StepMs(10);
  ASSERT_TRUE(io_->Pause());
  StepMs(200);
  EXPECT_EQ(ReadForward(rec_), Range(input, 0, 640 * 2 + 160));
  ASSERT_TRUE(io_->Resume());
  StepMs(40, 3);
  Finish(stream_);
  EXPECT_EQ(ReadForward(rec_), Range(input, 0, 640 * 5 + 160));
}

// Speech-like bursts of 300 ms every 1800 ms after 600 ms of silence; a 40 ms
// block is voice when any of its samples lies in a burst. Kept: voice, and
// quiet blocks that end within the hang after a voiced one.
TEST_F(WaveIORecordTest, VoiceActivationLeavesOutQuietBeyondTheHang) {
  platform::VirtualWaveSignal bursts;
  bursts.kind = platform::VirtualWaveSignal::Kind::Speech;
  bursts.level = 0.5;
  bursts.onMs = 300;
  bursts.offMs = 1500;
  device_->SetInputSignal(bursts);
  device_->SetInputBytes(Bytes(15 * 640, 0));
  meter_.Threshold = 10;
  audio::VasEnabled = 1;
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  StepMs(40, 100);
  Finish(stream_);

  std::string expected, heard;  // 'v' a voiced block, '-' a quiet one kept in the hang
  double lastVoiceEnd = -1e9;
  for (int block = 0; block < 100; ++block) {
    bool voiced = false;
    for (int ms = block * 40; block >= 15 && ms < (block + 1) * 40; ++ms)
      voiced = voiced || platform::VirtualWaveDevice::SpeechOnAt(bursts, ms / 1000.0);
    if (voiced) lastVoiceEnd = (block + 1) * 40.0;
    if (voiced || (block + 1) * 40.0 - lastVoiceEnd <= audio::kVasHangMs) expected += voiced ? 'v' : '-';
  }
  ASSERT_EQ(std::count(expected.begin(), expected.end(), 'v'), 16);
  const Bytes data = ReadForward(rec_);
  ASSERT_EQ(data.size() % 640, 0u);
  for (auto block = data.begin(); block != data.end(); block += 640)
    heard += std::all_of(block, block + 640, [](uint8_t b) { return b == 0; }) ? '-' : 'v';
  EXPECT_EQ(heard, expected);
}

// Writes fail with "no space" after two; `writes` is read after the device settled.
struct FillingDiskStream : audio::WaveFileStream {
  bool Write(const void* samples, uint32_t frames) override {
    if (++writes <= 2) return WaveFileStream::Write(samples, frames);
    platform::SetLastError(ENOSPC);
    return false;
  }
  int writes = 0;
};

TEST_F(WaveIORecordTest, FailedWriteStopsTheRecordingAndTellsWhy) {
  Bytes input = Numbered(640 * 10);
  device_->SetInputBytes(input);
  FillingDiskStream full;
  StartRecordingTo(full, audio::kFormatPcm8k16);
  StepMs(40, 2);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  StepMs(40);
  EXPECT_TRUE(io_->WriteFailed);
  EXPECT_EQ(io_->WriteError, ENOSPC);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  StepMs(40, 5);  // the buffers still in the device come back unwritten
  EXPECT_EQ(full.writes, 3);
  Finish(full);
  EXPECT_TRUE(io_->WriteFailed);  // still there for the owner's message
  input.resize(640 * 2);
  EXPECT_EQ(ReadForward(rec_), input);
}

}  // namespace
}  // namespace audiotest
