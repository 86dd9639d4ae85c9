// Driving playback through WaveIO: pause, seek, scans, volume, failures and
// their texts.

#include <gtest/gtest.h>

#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

class WaveIOControlTest : public WaveIOTest {
 protected:
  // Plays a PCM file of `blocks` numbered 640-byte blocks (40 ms each).
  std::string PlayNumbered(int blocks) {
    file_ = Numbered(640 * static_cast<size_t>(blocks));
    path_ = Recorded("numbered.wav", audio::kFormatPcm8k16, file_);
    StartPlaying(stream_, path_);
    return path_;
  }
  Bytes Blocks(size_t first, size_t count = 1) const { return Range(file_, first * 640, (first + count) * 640); }
  // The block a fresh stream reads after the same seek (its first read sets
  // the block size the seek keeps clear of the end).
  Bytes BlockAfterSeek(int percent) const {
    audio::WaveFileStream stream;
    EXPECT_TRUE(stream.Open(HostPath(path_), audio::kStreamRead));
    ReadAll(stream, audio::kReadForward);
    EXPECT_TRUE(stream.SeekPercent(percent));
    return ReadBlocks(stream, audio::kReadForward).front();
  }
  Bytes file_;
  std::string path_;
};

TEST_F(WaveIOControlTest, PauseHoldsPlaybackAndResumeGoesOnWithoutLoss) {
  PlayNumbered(8);
  StepMs(60);
  ASSERT_TRUE(io_->Pause());
  StepMs(100, 10);
  EXPECT_EQ(Captured().size(), 640u + 320u);
  EXPECT_FALSE(io_->StopEvent.IsSet());
  ASSERT_TRUE(io_->Resume());
  EXPECT_GT(StepUntilStop(40), 0);
  EXPECT_EQ(Captured(), file_);
}

// Paused, the buffers already in the device play first.
TEST_F(WaveIOControlTest, SeekWhilePlayingOrPausedContinuesFromTheNewPosition) {
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused);
    PlayNumbered(50);
    StepMs(40);  // block 0 heard; blocks 1, 2, 3 in the device
    if (paused) {
      ASSERT_TRUE(io_->Pause());
    }
    ASSERT_TRUE(io_->Seek(50));
    if (paused) {
      StepMs(200);
      EXPECT_EQ(Captured(paused).size(), 640u);
      ASSERT_TRUE(io_->Resume());
    }
    StepMs(40, paused ? 4 : 1);
    const Bytes heard = Captured(paused);
    const size_t held = paused ? 4 : 1;
    ASSERT_EQ(heard.size(), 640u * (held + 1));
    EXPECT_EQ(Range(heard, 0, held * 640), Blocks(0, held));
    EXPECT_EQ(Range(heard, held * 640, heard.size()), BlockAfterSeek(50));
    Finish(stream_);
  }
}

// Once the last block has been read, a seek back plays on from the new place
// instead of ending with the buffers already queued.
TEST_F(WaveIOControlTest, SeekAfterTheLastBlockWasReadPlaysOn) {
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused);
    PlayNumbered(10);
    StepMs(40, 8);  // blocks 0..7 heard, 8 and 9 queued: the data has run out
    ASSERT_TRUE(io_->Finished);
    if (paused) {
      ASSERT_TRUE(io_->Pause());
    }
    ASSERT_TRUE(io_->Seek(0));
    EXPECT_FALSE(io_->Finished);
    if (paused) {
      ASSERT_TRUE(io_->Resume());
    }
    EXPECT_GT(StepUntilStop(40), 0);
    const Bytes heard = Captured(paused);
    ASSERT_GE(heard.size(), file_.size() + 640u * 8);
    EXPECT_EQ(Range(heard, heard.size() - file_.size(), heard.size()), file_);
    Finish(stream_);
  }
}

TEST_F(WaveIOControlTest, ScansPlayAtTwiceTheRateForwardOrBackToTheStart) {
  PlayNumbered(30);
  EXPECT_FALSE(io_->StopScan()) << "no scan to stop";
  EXPECT_EQ(io_->GetErrorText(), nullptr);
  StepMs(40);  // block 0 heard, blocks 1 to 3 read
  ASSERT_TRUE(io_->StartScan(audio::ScanForward));
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 16000u);
  StepMs(20, 2);
  EXPECT_EQ(Captured(1), Blocks(4, 2));  // 640 bytes every 20 ms
  ASSERT_TRUE(io_->StopScan());
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 8000u);
  StepMs(40);
  EXPECT_EQ(Captured(2), Blocks(9));  // blocks 6 to 8 were taken back by the reset

  ASSERT_TRUE(io_->StartScan(audio::ScanBackward));  // the stream stands after block 12
  EXPECT_GT(StepUntilStop(20), 0);
  EXPECT_FALSE(io_->Finished);  // the start, not the end of the data
  const Bytes heard = Captured(3);
  ASSERT_EQ(heard.size(), 13u * 640);
  for (size_t b = 0; b < 13; ++b) EXPECT_EQ(Range(heard, b * 640, (b + 1) * 640), Blocks(12 - b)) << b;
}

TEST_F(WaveIOControlTest, WithoutADeviceControlsFailAndVolumeIsLeftAlone) {
  EXPECT_FALSE(io_->Pause());
  EXPECT_FALSE(io_->Seek(10));
  EXPECT_FALSE(io_->StartScan(audio::ScanForward));
  uint32_t volume = 12345;
  EXPECT_TRUE(io_->SetVolume(0x40004000u));
  EXPECT_TRUE(io_->GetVolume(&volume));
  EXPECT_EQ(volume, 12345u);
  EXPECT_EQ(device_->OutputVolume(), 0xFFFFFFFFu);
  PlayNumbered(10);
  EXPECT_TRUE(io_->SetVolume(0x80008000u));
  EXPECT_TRUE(io_->GetVolume(&volume));
  EXPECT_EQ(volume, 0x80008000u);
  EXPECT_EQ(device_->OutputVolume(), 0x80008000u);
}

TEST_F(WaveIOControlTest, ErrorTextsFollowTheCodeAndTheDirection) {
  io_->LastError = platform::kWaveBadFormat;
  EXPECT_EQ(std::u16string(io_->GetErrorText()), u"Unknown WaveIO error.");
  for (auto direction : {audio::WaveDirection::Output, audio::WaveDirection::Input}) {
    io_->Direction = direction;
    for (uint32_t code : {1u, 2u, 4u, 5u, 6u, 7u, 11u, 12u, 32u, 33u, 34u}) {
      io_->LastError = code;
      ASSERT_NE(io_->GetErrorText(), nullptr) << code;
      EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(code)) << code;
    }
    for (uint32_t none : {0u, 999u}) {  // 999: a code the platform has no text for
      io_->LastError = none;
      EXPECT_EQ(io_->GetErrorText(), nullptr);
    }
  }
  io_->Direction = audio::WaveDirection::None;
}

// Close after a refused open has no device to close, but nothing may keep
// pointing into the stream its owner deletes next; the failure stays readable.
TEST_F(WaveIOControlTest, RefusedOpenLeavesTheCodeAndItsText) {
  platform::VirtualWaveFailures failures;
  failures.openOutput = platform::kWaveAllocated;
  device_->SetFailures(failures);
  ASSERT_TRUE(stream_.Open(HostPath(Recorded("four.wav", audio::kFormatPcm8k16, Numbered(640 * 4))),
                           audio::kStreamRead));
  Attach(&stream_);
  EXPECT_FALSE(io_->Open(audio::WaveDirection::Output));
  EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(platform::kWaveAllocated));
  EXPECT_FALSE(io_->Close());
  EXPECT_EQ(io_->Direction, audio::WaveDirection::None);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);
  EXPECT_EQ(io_->LastError, platform::kWaveAllocated);
}

// The device runs on its own here, fast: seeks, pauses and scans race with
// the callbacks, and every reset must still take back every buffer.
TEST_F(WaveIOControlTest, SeeksAndScansWhileTheDeviceRunsFreelyAlwaysLeaveItClosable) {
  const std::string path = Recorded("long.wav", audio::kFormatPcm8k16, Numbered(640 * 400));
  device_->Clock().RunAtSpeed(40.0);
  for (int round = 0; round < 5; ++round) {
    audio::WaveFileStream stream;
    StartPlaying(stream, path);
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(io_->Seek((i * 37) % 90));
      if (i % 5 == 0) {
        ASSERT_TRUE(io_->StartScan(i % 2 ? audio::ScanBackward : audio::ScanForward));
        ASSERT_TRUE(io_->StopScan());
      }
      if (i % 3 == 0) {  // a seek while paused moves the stream the callbacks read
        ASSERT_TRUE(io_->Pause());
        ASSERT_TRUE(io_->Seek((i * 53) % 90));
        ASSERT_TRUE(io_->Resume());
      }
    }
    ASSERT_TRUE(io_->Close());
  }
}

}  // namespace
}  // namespace audiotest
