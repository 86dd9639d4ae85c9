// Playback through WaveIO: what reaches the device, the end of the data, the
// progress the monitor reads.

#include <gtest/gtest.h>

#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using WaveIOPlaybackTest = WaveIOTest;

TEST_F(WaveIOPlaybackTest, PcmFileReachesTheDeviceExactlyAsReadAndStopsAfterTheLastBuffer) {
  const std::string path = Recorded("pcm.wav", audio::kFormatPcm8k16, Numbered(640 * 10 + 320));  // 10.5 buffers
  StartPlaying(stream_, path);
  EXPECT_EQ(io_->OutputHeaders[0].bufferLength, 640u);
  // Ten full buffers of 40 ms; the stop waits for the short eleventh.
  for (int i = 0; i < 10; ++i) {
    EXPECT_FALSE(io_->StopEvent.IsSet()) << i;
    EXPECT_TRUE(io_->IsPlaying()) << i;
    StepMs(40);
  }
  EXPECT_TRUE(io_->Finished);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  StepMs(20);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->IsPlaying());
  EXPECT_EQ(device_->LastCapture().buffers.size(), 11u);
  // Nothing more is handed over; the device stays open until closed.
  StepMs(200);
  EXPECT_EQ(Captured(), ReadForward(path));
  EXPECT_TRUE(io_->Close());
  EXPECT_EQ(deviceFormat_, nullptr);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);
  EXPECT_EQ(io_->Stream.load(), nullptr);
}

TEST_F(WaveIOPlaybackTest, GsmFileReachesTheDeviceAsItsDecodedBlocks) {
  const std::string path = Recorded("gsm.wav", audio::kFormatGsm610, AsBytes(SpeechLike(320 * 7)));
  StartPlaying(stream_, path);
  ASSERT_EQ(deviceFormat_, audio::GsmDeviceFormat());
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 8000u);
  EXPECT_EQ(device_->LastCapture().format.bitsPerSample, 16u);
  EXPECT_EQ(StepUntilStop(40), 7);
  EXPECT_TRUE(io_->Finished);
  EXPECT_EQ(Captured().size(), 640u * 7);
  EXPECT_EQ(Captured(), ReadForward(path));
  EXPECT_EQ(io_->GetProgressPercent(), 100u);
}

TEST_F(WaveIOPlaybackTest, FilesShorterThanTheQueuePlayWholeAndFinish) {
  const std::string path = Recorded("short.wav", audio::kFormatPcm8k16, Numbered(640 + 200));
  StartPlaying(stream_, path);  // succeeds although it could not fill the queue
  EXPECT_TRUE(io_->Finished);
  EXPECT_FALSE(io_->StopEvent.IsSet());  // what was queued is still to be heard
  EXPECT_TRUE(io_->IsPlaying());
  StepMs(40);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  StepMs(12.5);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_EQ(Captured(), ReadForward(path));
  EXPECT_TRUE(io_->Close());

  audio::WaveFileStream empty;
  StartPlaying(empty, Recorded("empty.wav", audio::kFormatPcm8k8, {}));
  EXPECT_TRUE(io_->Finished);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_FALSE(io_->IsPlaying());
  EXPECT_TRUE(io_->Close());
}

TEST_F(WaveIOPlaybackTest, EveryBufferSignalsDataAndCarriesItsLevelAndAmplification) {
  std::vector<uint8_t> bytes(640 * 4);
  for (size_t i = 0; i < bytes.size(); i += 2) bytes[i + 1] = (i / 2) % 2 ? 0x10 : 0xF0;  // +-4096
  settings::WriteAmplifyOutput(settings_, 1);
  meter_.Threshold = 30;
  StartPlaying(stream_, Recorded("tone.wav", audio::kFormatPcm8k16, bytes));
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  EXPECT_FALSE(io_->DataEvent.Wait(0));  // auto-reset: one wake-up for the burst
  // 4096 x 750/256 = 12000 (12000.5 rounds down in the shift), 37 % of full scale.
  EXPECT_EQ(meter_.Level.load(), 37);
  EXPECT_TRUE(meter_.AboveThreshold.load());
  StepMs(40);
  EXPECT_TRUE(io_->DataEvent.Wait(0));
  const std::vector<uint8_t> heard = Captured();
  ASSERT_EQ(heard.size(), 640u);
  for (size_t i = 0; i < heard.size(); i += 2)
    ASSERT_EQ(std::abs(static_cast<int16_t>(heard[i] | heard[i + 1] << 8)), 12000) << i;
}

TEST_F(WaveIOPlaybackTest, ProgressAndTimesFollowThePlayback) {
  StartPlaying(stream_, Recorded("long.wav", audio::kFormatPcm8k8, std::vector<uint8_t>(8000 * 4, 128)));  // 4 s
  EXPECT_EQ(io_->GetLengthSeconds(), 4u);
  EXPECT_EQ(io_->GetPositionSeconds(), 0u);  // three 80 ms buffers read
  StepMs(80, 25);                            // two seconds
  EXPECT_EQ(io_->GetProgressPercent(), 56u);  // 28 buffers of 640 frames read of 50
  EXPECT_EQ(io_->GetPositionSeconds(), 2u);
  EXPECT_TRUE(io_->Close());
  EXPECT_EQ(io_->GetProgressPercent(), 0u);
  EXPECT_EQ(io_->GetLengthSeconds(), 0u);
}

}  // namespace
}  // namespace audiotest
