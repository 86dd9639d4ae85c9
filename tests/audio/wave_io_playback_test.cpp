// Playback through WaveIO: what reaches the device and when the end is told,
// a seek after the end, scans switched while paused, a refused open, and the
// device run freely. A read failing part-way is the monitor suite's.

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
  StepMs(20);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_EQ(Captured(), ReadForward(pcm));
  EXPECT_TRUE(io_->Close());
  EXPECT_EQ(deviceFormat_, nullptr);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);

  // The second GSM file ends in a counted pad byte: the end is the last whole pair.
  const std::string path = Recorded("gsm.wav", audio::kFormatGsm610, AsBytes(SpeechLike(320 * 7)));
  for (bool padded : {false, true}) {
    if (padded) AddCountedPadByte(path);
    audio::WaveFileStream gsm;
    StartPlaying(gsm, path);
    ASSERT_EQ(deviceFormat_, audio::GsmDeviceFormat());
    EXPECT_EQ(StepUntilStop(40), 7) << padded;
    EXPECT_TRUE(io_->Finished) << padded;
    EXPECT_EQ(Captured(1 + padded), ReadForward(path));
    Finish(gsm);
  }

  const std::string shorter = Recorded("short.wav", audio::kFormatPcm8k16, Numbered(640 + 200));
  StartPlaying(stream_, shorter);  // shorter than the queue
  EXPECT_TRUE(io_->Finished);
  StepMs(40);
  EXPECT_FALSE(io_->StopEvent.IsSet()) << "what was queued is still to be heard";
  StepMs(12.5);
  EXPECT_TRUE(io_->StopEvent.IsSet());
  EXPECT_EQ(Captured(3), ReadForward(shorter));
}

// Once the data has run out, a seek back (also while paused) plays on instead
// of ending with the buffers already queued. Where a seek lands is the
// controller suite's.
TEST_F(WaveIOPlaybackTest, ASeekAfterTheLastBlockWasReadPlaysOn) {
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused);
    PlayNumbered(12);
    for (int i = 0; i < 20 && !io_->Finished; ++i) StepMs(40);
    ASSERT_TRUE(io_->Finished);
    ASSERT_TRUE(!paused || io_->Pause());
    ASSERT_TRUE(io_->Seek(0));
    EXPECT_FALSE(io_->Finished);
    ASSERT_TRUE(!paused || io_->Resume());
    EXPECT_GT(StepUntilStop(40), 0);
    const Bytes heard = Captured(paused);
    ASSERT_GE(heard.size(), file_.size() + 640 * 8);
    EXPECT_EQ(Range(heard, heard.size() - file_.size(), heard.size()), file_);
    Finish(stream_);
  }
}

// Close after a refused open has no device to close, but nothing may keep
// pointing into the stream its owner deletes next; the failure stays readable.
TEST_F(WaveIOPlaybackTest, RefusedOpenLeavesTheCodeAndItsText) {
  EXPECT_FALSE(io_->Pause()) << "no device";
  platform::VirtualWaveFailures failures;
  failures.openOutput = platform::kWaveAllocated;
  device_->SetFailures(failures);
  ASSERT_TRUE(
      stream_.Open(HostPath(Recorded("four.wav", audio::kFormatPcm8k16, Numbered(640 * 4))), audio::kStreamRead));
  Attach(&stream_);
  EXPECT_FALSE(io_->Open(audio::WaveDirection::Output));
  EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(platform::kWaveAllocated));
  EXPECT_FALSE(io_->Close());
  EXPECT_EQ(io_->Direction, audio::WaveDirection::None);
  EXPECT_EQ(meter_.MeterFormat.load(), nullptr);
  EXPECT_EQ(io_->LastError, platform::kWaveAllocated);
  EXPECT_EQ(std::u16string(io_->GetErrorText()), platform::WaveErrorText(platform::kWaveAllocated))
      << "the device's text, not the one for an error without a device";
}

// A scan switched while paused reopens the device: it stays paused, with
// the blocks that follow queued in order for Resume. Scans at double rate
// both ways are the controller suite's.
TEST_F(WaveIOPlaybackTest, ScansSwitchedWhilePausedStayPausedUntilResume) {
  PlayNumbered(40);
  EXPECT_FALSE(io_->StopScan()) << "no scan to stop";
  EXPECT_EQ(io_->GetErrorText(), nullptr);
  StepMs(40);  // block 0 heard
  ASSERT_TRUE(io_->Pause());
  ASSERT_TRUE(io_->StartScan(audio::ScanForward));  // blocks 1 to 3 taken back; 4 to 6 queued
  StepMs(100);
  EXPECT_TRUE(Captured(1).empty()) << "silent while paused";
  ASSERT_TRUE(io_->StopScan());  // 7 to 9 queued
  StepMs(100);
  EXPECT_TRUE(Captured(2).empty());
  ASSERT_TRUE(io_->Resume());
  StepMs(40, 4);
  EXPECT_EQ(Captured(2), Blocks(7, 4));
}

// The device runs on its own here, fast: seeks, pauses and scans race with
// the callbacks, and every reset must still take back every buffer. Under
// ThreadSanitizer this also shows that no buffer is queued from two threads.
TEST_F(WaveIOPlaybackTest, SeeksAndScansWhileTheDeviceRunsFreelyAlwaysLeaveItClosable) {
  const std::string path = Recorded("long.wav", audio::kFormatPcm8k16, Numbered(640 * 400));
  device_->Clock().RunAtSpeed(400.0);
  for (int round = 0; round < 5; ++round) {
    audio::WaveFileStream stream;
    StartPlaying(stream, path);
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(io_->Seek((i * 37) % 90));
      if (i % 5 == 0) {
        ASSERT_TRUE(io_->StartScan(i % 2 ? audio::ScanBackward : audio::ScanForward));
        ASSERT_TRUE(io_->StopScan());
      }
      // A seek and scans switched while paused: the callbacks must keep still.
      ASSERT_TRUE(io_->Pause());
      ASSERT_TRUE(io_->Seek((i * 53) % 90));
      for (uint32_t mode : {audio::ScanForward, audio::ScanBackward, audio::ScanForward}) {
        ASSERT_TRUE(io_->StartScan(mode));
        ASSERT_TRUE(io_->StopScan());
      }
      ASSERT_TRUE(io_->Resume());
    }
    ASSERT_TRUE(io_->Close());
  }
}

}  // namespace
}  // namespace audiotest
