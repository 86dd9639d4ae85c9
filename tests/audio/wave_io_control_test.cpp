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
    const std::string path = Recorded("numbered.wav", audio::kFormatPcm8k16, file_);
    StartPlaying(stream_, path);
    return path;
  }
  static std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t block, size_t count = 1) {
    if (bytes.size() < (block + count) * 640) return {};
    return std::vector<uint8_t>(bytes.begin() + block * 640, bytes.begin() + (block + count) * 640);
  }
  std::vector<uint8_t> Blocks(size_t first, size_t count = 1) const { return Slice(file_, first, count); }
  // The block a fresh stream reads after the same seek (its first read sets
  // the block size the seek keeps clear of the end).
  static std::vector<uint8_t> BlockAfterSeek(const std::string& path, int percent) {
    audio::WaveFileStream stream;
    EXPECT_TRUE(stream.Open(HostPath(path), audio::kStreamRead));
    uint32_t size = 640;
    diag::TrackedDelete(stream.Read(&size, audio::kReadForward));
    EXPECT_TRUE(stream.SeekPercent(percent));
    return Slice(ReadAll(stream, audio::kReadForward), 0);
  }

  std::vector<uint8_t> file_;
};

TEST_F(WaveIOControlTest, PauseHoldsPlaybackAndResumeGoesOnWithoutLoss) {
  PlayNumbered(8);
  StepMs(60);
  ASSERT_TRUE(io_->Pause());
  EXPECT_TRUE(io_->Paused);
  StepMs(100, 10);
  EXPECT_EQ(Captured().size(), 640u + 320u);
  EXPECT_TRUE(io_->IsPlaying());
  EXPECT_FALSE(io_->StopEvent.IsSet());
  ASSERT_TRUE(io_->Resume());
  EXPECT_FALSE(io_->Paused);
  EXPECT_GT(StepUntilStop(40), 0);
  EXPECT_EQ(Captured(), file_);
}

TEST_F(WaveIOControlTest, SeekWhilePlayingContinuesFromTheNewPosition) {
  const std::string path = PlayNumbered(50);
  StepMs(40);
  ASSERT_TRUE(io_->Seek(50));
  EXPECT_FALSE(io_->StopEvent.IsSet());
  EXPECT_EQ(io_->GetProgressPercent(), 56u);  // the seek target and three buffers read from it
  StepMs(40, 2);
  const std::vector<uint8_t> heard = Captured();
  ASSERT_EQ(heard.size(), 640u * 3);
  EXPECT_EQ(Slice(heard, 0), Blocks(0));
  EXPECT_EQ(Slice(heard, 1), BlockAfterSeek(path, 50));
  EXPECT_NE(Slice(heard, 1), Blocks(1));
}

TEST_F(WaveIOControlTest, SeekWhilePausedPlaysTheHeldBuffersFirst) {
  const std::string path = PlayNumbered(50);
  StepMs(40);  // block 0 heard; blocks 1, 2, 3 in the device
  ASSERT_TRUE(io_->Pause());
  ASSERT_TRUE(io_->Seek(50));
  EXPECT_TRUE(io_->HoldRequeue);
  StepMs(200);
  EXPECT_EQ(Captured().size(), 640u);
  ASSERT_TRUE(io_->Resume());
  EXPECT_FALSE(io_->HoldRequeue);
  StepMs(40, 4);
  const std::vector<uint8_t> heard = Captured();
  ASSERT_EQ(heard.size(), 640u * 5);
  EXPECT_EQ(Slice(heard, 0, 4), Blocks(0, 4));
  EXPECT_EQ(Slice(heard, 4), BlockAfterSeek(path, 50));
}

TEST_F(WaveIOControlTest, ForwardScanPlaysOnAtTwiceTheRateAndStopScanReturnsToNormal) {
  PlayNumbered(30);
  EXPECT_FALSE(io_->StopScan()) << "no scan to stop";
  EXPECT_EQ(io_->GetErrorText(), nullptr);
  EXPECT_TRUE(io_->IsPlaying());
  StepMs(40);  // block 0 heard, blocks 1 to 3 read
  ASSERT_TRUE(io_->StartScan(audio::ScanForward));
  EXPECT_EQ(io_->ScanMode, audio::ScanForward);
  ASSERT_EQ(device_->OutputOpens(), 2);
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 16000u);
  EXPECT_EQ(device_->LastCapture().format.avgBytesPerSec, 16000u);  // left as it was
  ASSERT_TRUE(io_->StartScan(audio::ScanBackward));                // a running scan goes on unchanged
  EXPECT_EQ(device_->OutputOpens(), 2);
  EXPECT_EQ(io_->ScanMode, audio::ScanForward);
  StepMs(20, 2);
  EXPECT_EQ(Captured(1), Blocks(4, 2));  // 640 bytes every 20 ms

  ASSERT_TRUE(io_->StopScan());
  EXPECT_EQ(io_->ScanMode, audio::ScanNone);
  ASSERT_EQ(device_->OutputOpens(), 3);
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 8000u);
  StepMs(40);
  EXPECT_EQ(Captured(2), Blocks(9));  // blocks 6 to 8 were taken back by the reset
}

TEST_F(WaveIOControlTest, BackwardScanPlaysChunksInReverseOrderDownToTheStart) {
  PlayNumbered(30);
  StepMs(40, 2);  // blocks 0 and 1 heard; the stream stands after block 4
  ASSERT_TRUE(io_->StartScan(audio::ScanBackward));
  EXPECT_GT(StepUntilStop(20), 0);
  EXPECT_FALSE(io_->Finished);  // the start, not the end of the data
  const std::vector<uint8_t> heard = Captured(1);
  ASSERT_EQ(heard.size(), 5u * 640);
  for (size_t b = 0; b < 5; ++b) EXPECT_EQ(Slice(heard, b), Blocks(4 - b)) << b;
  EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 16000u);
}

TEST_F(WaveIOControlTest, WithoutADeviceControlsFailAndVolumeIsLeftAlone) {
  EXPECT_FALSE(io_->Pause());
  EXPECT_TRUE(io_->Resume());
  EXPECT_FALSE(io_->Reset());
  EXPECT_FALSE(io_->Seek(10));
  EXPECT_FALSE(io_->StartScan(audio::ScanForward));
  EXPECT_FALSE(io_->IsPlaying());
  EXPECT_FALSE(io_->IsRecording());
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
  EXPECT_EQ(io_->GetErrorText(), nullptr);
  io_->LastError = platform::kWaveBadFormat;
  EXPECT_EQ(std::u16string(io_->GetErrorText()), u"Unknown WaveIO error.");
  for (auto direction : {audio::WaveDirection::Output, audio::WaveDirection::Input}) {
    io_->Direction = direction;
    for (uint32_t code : {1u, 2u, 4u, 5u, 6u, 7u, 11u, 12u, 32u, 33u, 34u}) {
      io_->LastError = code;
      ASSERT_NE(io_->GetErrorText(), nullptr) << code;
      EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(code)) << code;
      EXPECT_LE(std::u16string(io_->GetErrorText()).size(), 128u);
    }
    for (uint32_t none : {0u, 999u}) {  // 999: a code the platform has no text for
      io_->LastError = none;
      EXPECT_EQ(io_->GetErrorText(), nullptr);
    }
  }
  io_->Direction = audio::WaveDirection::None;
}

TEST_F(WaveIOControlTest, RefusedOpenLeavesTheCodeAndItsText) {
  const std::string path = Recorded("four.wav", audio::kFormatPcm8k16, Numbered(640 * 4));
  ASSERT_TRUE(stream_.Open(HostPath(path), audio::kStreamRead));
  EXPECT_FALSE(io_->Open(audio::WaveDirection::Output));  // no stream handed over
  EXPECT_EQ(io_->LastError, 0u);

  platform::VirtualWaveFailures failures;
  failures.openOutput = platform::kWaveAllocated;
  device_->SetFailures(failures);
  Attach(&stream_);
  EXPECT_TRUE(io_->QueryOutputFormat(&deviceId_, &stream_));
  EXPECT_FALSE(io_->Open(audio::WaveDirection::None));
  EXPECT_FALSE(io_->Open(audio::WaveDirection::Output));
  EXPECT_EQ(io_->LastError, platform::kWaveAllocated);
  EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(platform::kWaveAllocated));
  EXPECT_FALSE(io_->StartPlayback());
  // No device to close, but nothing may keep pointing into the stream that
  // its owner deletes next; the failure stays readable.
  EXPECT_FALSE(io_->Close());
  EXPECT_EQ(io_->Direction, audio::WaveDirection::None);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);
  EXPECT_EQ(io_->LastError, platform::kWaveAllocated);

  failures = {};
  failures.refuseFormats = true;
  device_->SetFailures(failures);
  EXPECT_FALSE(io_->QueryOutputFormat(&deviceId_, &stream_));
  EXPECT_FALSE(io_->QueryInputFormat(&deviceId_, &stream_));
  device_->SetFailures({});
  uint32_t otherDevice = 7;
  EXPECT_FALSE(io_->QueryOutputFormat(&otherDevice, &stream_));
}

// Once the last block has been read, a seek back (playing or paused) plays
// on from the new place instead of ending with the buffers already queued.
TEST_F(WaveIOControlTest, SeekAfterTheLastBlockWasReadPlaysOn) {
  for (int round = 0; round < 2; ++round) {
    const bool paused = round == 1;
    SCOPED_TRACE(paused ? "paused" : "playing");
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
    EXPECT_TRUE(io_->Finished);
    const std::vector<uint8_t> heard = Captured(static_cast<size_t>(round));
    ASSERT_GE(heard.size(), file_.size() + 640u * 8);
    EXPECT_EQ(std::vector<uint8_t>(heard.end() - static_cast<std::ptrdiff_t>(file_.size()), heard.end()), file_);
    Finish(stream_);
  }
}

// The device runs on its own here, fast: seeks and closes race with the
// callbacks, and every reset must still take back every buffer.
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
    EXPECT_FALSE(io_->IsPlaying());
  }
}

}  // namespace
}  // namespace audiotest
