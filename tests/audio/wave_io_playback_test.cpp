// Playback through WaveIO: what reaches the device and the end of the data.

#include <gtest/gtest.h>

#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using WaveIOPlaybackTest = WaveIOTest;

TEST_F(WaveIOPlaybackTest, FilesReachTheDeviceExactlyAsReadAndStopAfterTheLastBuffer) {
  const std::string pcm = Recorded("pcm.wav", audio::kFormatPcm8k16, Numbered(640 * 10 + 320));
  StartPlaying(stream_, pcm);
  StepMs(40, 10);  // the stop waits for the short eleventh buffer
  EXPECT_TRUE(io_->Finished);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  EXPECT_TRUE(io_->IsPlaying());
  StepMs(20);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->IsPlaying());
  EXPECT_EQ(Captured(), ReadForward(pcm));
  EXPECT_TRUE(io_->Close());
  EXPECT_EQ(deviceFormat_, nullptr);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);

  audio::WaveFileStream gsm;
  const std::string path = Recorded("gsm.wav", audio::kFormatGsm610, AsBytes(SpeechLike(320 * 7)));
  StartPlaying(gsm, path);
  ASSERT_EQ(deviceFormat_, audio::GsmDeviceFormat());
  EXPECT_EQ(StepUntilStop(40), 7);
  EXPECT_TRUE(io_->Finished);
  EXPECT_EQ(Captured(1), ReadForward(path));
  EXPECT_EQ(io_->GetProgressPercent(), 100u);
  Finish(gsm);
}

TEST_F(WaveIOPlaybackTest, FilesShorterThanTheQueuePlayWholeAndFinish) {
  const std::string path = Recorded("short.wav", audio::kFormatPcm8k16, Numbered(640 + 200));
  StartPlaying(stream_, path);
  EXPECT_TRUE(io_->Finished);
  EXPECT_FALSE(io_->StopEvent.IsSet());  // what was queued is still to be heard
  StepMs(40);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  StepMs(12.5);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_EQ(Captured(), ReadForward(path));
  Finish(stream_);

  StartPlaying(stream_, Recorded("empty.wav", audio::kFormatPcm8k8, {}));
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->IsPlaying());
}

TEST_F(WaveIOPlaybackTest, EveryBufferSignalsDataAndCarriesItsLevelAndAmplification) {
  Bytes bytes(640 * 4);
  for (size_t i = 0; i < bytes.size(); i += 2) bytes[i + 1] = (i / 2) % 2 ? 0x10 : 0xF0;  // +-4096
  settings::WriteAmplifyOutput(settings_, 1);
  meter_.Threshold = 30;
  StartPlaying(stream_, Recorded("tone.wav", audio::kFormatPcm8k16, bytes));
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  EXPECT_FALSE(io_->DataEvent.Wait(0));  // auto-reset: one wake-up for the burst
  EXPECT_EQ(meter_.Level.load(), 37);    // 4096 x 750/256 = 12000, 37 % of full scale
  EXPECT_TRUE(meter_.AboveThreshold.load());
  StepMs(40);
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  const Bytes heard = Captured();
  ASSERT_EQ(heard.size(), 640u);
  for (size_t i = 0; i < heard.size(); i += 2)
    ASSERT_EQ(std::abs(static_cast<int16_t>(heard[i] | heard[i + 1] << 8)), 12000) << i;
}

}  // namespace
}  // namespace audiotest
