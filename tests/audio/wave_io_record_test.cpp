// Recording through WaveIO: pause, close, amplification and voice
// activation. What a whole recording holds, and a write that fails (stopped,
// told, a valid file), are the controller suite's.

#include <gtest/gtest.h>

#include <algorithm>

#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using WaveIORecordTest = WaveIOTest;

// Pausing and closing hand over the buffer being filled with what it holds;
// nothing is taken in while paused, and Resume carries on where the input
// stopped.
TEST_F(WaveIORecordTest, PauseAndCloseKeepThePartBufferAndResumeContinuesWithoutAGap) {
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
  StepMs(10);
  Finish(stream_);
  EXPECT_EQ(ReadForward(rec_), Range(input, 0, 640 * 5 + 320));
}

// The input's amplification is read for each buffer: switched off during a
// recording (as the settings sheet does), the next buffer is as recorded.
TEST_F(WaveIORecordTest, AmplificationSwitchedOffReachesTheNextBuffer) {
  const Bytes input = AsBytes(std::vector<int16_t>(8 * 320, 900));
  device_->SetInputBytes(input);
  settings::WriteAmplifyInput(settings_, 1);
  StartRecordingTo(stream_, audio::kFormatPcm8k16);
  StepMs(40, 4);
  settings::WriteAmplifyInput(settings_, 0);
  StepMs(40, 4);
  Finish(stream_);
  const Bytes data = ReadForward(rec_);
  ASSERT_EQ(data.size(), input.size());
  EXPECT_EQ(Range(data, 0, 640 * 4), AsBytes(std::vector<int16_t>(4 * 320, 2637))) << "amplified";
  EXPECT_EQ(Range(data, 640 * 4, 640 * 8), Range(input, 640 * 4, 640 * 8));
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
  io_->PreRollMs = 0;  // as the handheld had it
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

}  // namespace
}  // namespace audiotest
