// Playback at another speed, on the virtual device's clock: a tone keeps its
// pitch and takes the time the speed gives it; 1x is the file's bytes
// exactly, also after another speed; a seek lands at the file time asked;
// the scan plays at double rate whatever the speed; the stretcher itself
// on every kind of format.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "audio/playback_speed.h"
#include "audio/sample_convert.h"
#include "audio/time_stretch.h"
#include "signal_measure.h"
#include "wave_io_test_fixture.h"

namespace audiotest {
namespace {

using namespace audio;

std::vector<float> Samples(const Bytes& bytes, uint32_t rate, uint32_t bits = 16, uint32_t channels = 1) {
  WaveFormatEx format{kWaveFormatPcm,
                      static_cast<uint16_t>(channels),
                      rate,
                      0,
                      static_cast<uint16_t>(channels * bits / 8),
                      static_cast<uint16_t>(bits),
                      0};
  std::vector<float> out;
  ToFloat(bytes.data(), bytes.size(), format, &out);
  return out;
}

// Of the candidate frequencies, the one with the most power in samples
// from..to.
double Dominant(const std::vector<float>& s, uint32_t rate, size_t from, size_t to,
                std::initializer_list<double> hz) {
  double best = 0, bestPower = -1;
  for (double f : hz) {
    const double w = 2 * std::cos(2 * M_PI * f / rate);
    double q1 = 0, q2 = 0;
    for (size_t i = from; i < to && i < s.size(); ++i) {
      const double q0 = w * q1 - q2 + s[i];
      q2 = q1;
      q1 = q0;
    }
    const double power = q1 * q1 + q2 * q2 - w * q1 * q2;
    if (power > bestPower) bestPower = power, best = f;
  }
  return best;
}

// Five steps of 1 s, 300 to 700 Hz.
std::vector<int16_t> Steps() {
  std::vector<int16_t> steps;
  for (int k = 0; k < 5; ++k) {
    const std::vector<int16_t> tone = Tone(1.0, 8000, 300 + 100 * k);
    steps.insert(steps.end(), tone.begin(), tone.end());
  }
  return steps;
}

class PlaybackSpeedTest : public WaveIOTest {
 protected:
  // Steps in 40 ms until the stop; the virtual time it took, in seconds.
  double PlayToStop() {
    const int64_t start = device_->Clock().NowMicros();
    EXPECT_GT(StepUntilStop(40), 0);
    const auto captures = device_->Captures();
    return captures.empty() || captures.back().buffers.empty()
               ? 0
               : (captures.back().buffers.back().completedMicros - start) / 1e6;
  }
};

TEST(PlaybackSpeeds, StepsTextsAndParsing) {
  EXPECT_EQ(std::vector<uint32_t>(PlaybackSpeeds().begin(), PlaybackSpeeds().end()),
            (std::vector<uint32_t>{50, 75, 100, 125, 150, 200}));
  for (auto [from, steps, to] : {std::tuple{100u, -1, 75u},
                                 {75u, -1, 50u},
                                 {50u, -1, 50u},
                                 {150u, 1, 200u},
                                 {200u, 1, 200u},
                                 {80u, 1, 125u},
                                 {100u, 5, 200u}}) {
    EXPECT_EQ(StepPlaybackSpeed(from, steps), to) << from << " " << steps;
  }
  for (auto [percent, text] : {std::pair{50u, u"0.5\u00D7"},
                               {75u, u"0.75\u00D7"},
                               {100u, u"1\u00D7"},
                               {125u, u"1.25\u00D7"},
                               {200u, u"2\u00D7"}}) {
    EXPECT_EQ(PlaybackSpeedText(percent), std::u16string(text));
  }
  for (auto [text, percent] : {std::pair{"0.75", 75u},
                               {"0.75x", 75u},
                               {"1.5\u00D7", 150u},
                               {"2", 200u},
                               {"125%", 125u},
                               {".5", 50u},
                               {"0.8", 0u},
                               {"1,5", 0u},
                               {"x", 0u},
                               {"", 0u},
                               {"0.755", 0u}}) {
    EXPECT_EQ(ParsePlaybackSpeed(text), percent) << text;
  }
}

// A 440 Hz tone of 3 s at each speed: the pitch within 1 %, the time on the
// device's clock 3 s / speed within 2 %, the end told as at 1x.
TEST_F(PlaybackSpeedTest, AToneKeepsItsPitchAndTakesTheTimeOfItsSpeed) {
  const std::string pcm = Recorded("tone.wav", kFormatPcm8k16, AsBytes(Tone(3.0, 8000, 440)));
  const std::string gsm = Recorded("tone-gsm.wav", kFormatGsm610, AsBytes(Tone(3.0, 8000, 440)));
  for (auto [path, speed] :
       {std::pair{pcm, 75u}, {gsm, 75u}, {pcm, 50u}, {pcm, 125u}, {pcm, 150u}, {pcm, 200u}}) {
    SCOPED_TRACE(path + " at " + std::to_string(speed));
    ASSERT_TRUE(io_->SetPlaybackSpeed(speed));
    StartPlaying(stream_, path);
    const double seconds = PlayToStop();
    EXPECT_TRUE(io_->Finished);
    EXPECT_NEAR(seconds, 3.0 * 100 / speed, 0.02 * 3.0 * 100 / speed);
    const std::vector<float> heard = Samples(device_->LastCapture().bytes, 8000);
    EXPECT_NEAR(static_cast<double>(heard.size()) / 8000, 3.0 * 100 / speed, 0.02 * 3.0 * 100 / speed);
    EXPECT_NEAR(ToneFrequency(heard, 8000, 440, 800, heard.size() - 800), 440, 4.4);
    EXPECT_EQ(io_->GetPositionSeconds(), 3u) << "the time shown is the file's";
    Finish(stream_);
  }
  EXPECT_FALSE(io_->SetPlaybackSpeed(80)) << "not in the table";
  EXPECT_EQ(io_->GetPlaybackSpeed(), 200u) << "kept from file to file";
}

// The file's time stays in step: each step of a file of five 1 s steps is
// heard from k s / speed on, to within 30 ms, neither cut at the start nor
// delayed by the stretcher.
TEST_F(PlaybackSpeedTest, EachMomentOfTheFileIsHeardWhenItsSpeedPutsIt) {
  const std::string path = Recorded("steps.wav", kFormatPcm8k16, AsBytes(Steps()));
  for (uint32_t speed : {75u, 150u}) {
    SCOPED_TRACE(speed);
    ASSERT_TRUE(io_->SetPlaybackSpeed(speed));
    StartPlaying(stream_, path);
    PlayToStop();
    const std::vector<float> heard = Samples(device_->LastCapture().bytes, 8000);
    for (int k = 1; k < 5; ++k) {
      const auto at = static_cast<size_t>(8000.0 * k * 100 / speed);
      const double before = 300 + 100 * (k - 1), after = 300 + 100 * k;
      EXPECT_EQ(Dominant(heard, 8000, at - 240 - 160, at - 240, {before, after}), before) << k;
      EXPECT_EQ(Dominant(heard, 8000, at + 240, at + 240 + 160, {before, after}), after) << k;
    }
    Finish(stream_);
  }
}

// 1x plays the file's own bytes, also when a file started at 0.75x comes
// back to 1x while it plays: from then on the device hears the rest of the
// file block for block.
TEST_F(PlaybackSpeedTest, OneTimesIsTheFileExactlyAlsoAfterAnotherSpeed) {
  ASSERT_TRUE(io_->SetPlaybackSpeed(75));
  PlayNumbered(60);
  StepMs(40, 10);
  const size_t stretched = Captured().size();
  ASSERT_TRUE(io_->SetPlaybackSpeed(100));
  ASSERT_GT(StepUntilStop(40), 0);
  const Bytes heard = Captured();
  const Bytes after =
      Range(heard, stretched + 3 * 640, heard.size());  // the three stretched blocks queued before
  ASSERT_GE(after.size(), 640u * 10);
  ASSERT_EQ(after.size() % 640, 0u);
  EXPECT_EQ(after, Blocks(60 - after.size() / 640, after.size() / 640)) << "the rest of the file, as read";
  Finish(stream_);

  PlayNumbered(12);
  ASSERT_GT(StepUntilStop(40), 0);
  EXPECT_EQ(Captured(1), file_);
}

// Where a seek lands shows in what is heard after it: at 0.75x a seek to
// 75 % (3.75 s) of the five steps, playing or paused, plays 600 Hz next and
// shows the file's time.
TEST_F(PlaybackSpeedTest, ASeekLandsAtTheFileTimeAsked) {
  const std::string path = Recorded("steps.wav", kFormatPcm8k16, AsBytes(Steps()));
  ASSERT_TRUE(io_->SetPlaybackSpeed(75));
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "paused" : "playing");
    StartPlaying(stream_, path);
    StepMs(40, 5);
    EXPECT_EQ(Dominant(Samples(device_->LastCapture().bytes, 8000), 8000, 0, 1600, {300, 600}), 300);
    if (paused) {
      ASSERT_TRUE(io_->Pause());
    }
    ASSERT_TRUE(io_->Seek(75));
    EXPECT_EQ(io_->GetPositionSeconds(), 4u) << "3.75 s, rounded as the program shows times";
    // Playing, the queue starts again at the new place; paused, the three
    // buffers held play first.
    const size_t from = device_->LastCapture().bytes.size() + (paused ? 3 * 640 : 0);
    if (paused) {
      ASSERT_TRUE(io_->Resume());
    }
    StepMs(40, 15);
    const Bytes heard = device_->LastCapture().bytes;
    ASSERT_GT(heard.size(), from + 2 * 3200);
    // 0.1 to 0.3 s of output after the seek: 3.825 to 3.975 s of the file.
    EXPECT_NEAR(ToneFrequency(Samples(Range(heard, from + 1600, from + 4800), 8000), 8000, 600), 600, 6);
    Finish(stream_);
  }
}

// The scan plays the stream's own blocks at twice the rate at any speed;
// released, playback is stretched again.
TEST_F(PlaybackSpeedTest, TheScanPlaysAtTwiceTheRateWhateverTheSpeed) {
  ASSERT_TRUE(io_->SetPlaybackSpeed(75));
  PlayNumbered(60);
  StepMs(40, 4);
  ASSERT_TRUE(io_->StartScan(ScanForward));
  StepMs(20, 6);
  const platform::VirtualWaveDevice::Capture scan = device_->LastCapture();
  EXPECT_EQ(scan.format.samplesPerSec, 16000u);
  ASSERT_GE(scan.bytes.size(), 640u * 3);
  const size_t first = stream_.GetPositionFrames() * 2 / 640 - 6 - 3;  // the blocks heard, as read
  EXPECT_EQ(Range(scan.bytes, 0, 640 * 6), Blocks(first, 6));
  ASSERT_TRUE(io_->StopScan());
  StepMs(40, 6);
  const platform::VirtualWaveDevice::Capture after = device_->LastCapture();
  EXPECT_EQ(after.format.samplesPerSec, 8000u);
  EXPECT_GT(after.bytes.size(), 640u * 4);
  Finish(stream_);
}

// The device runs on its own here, fast, while the speed changes (the
// stretcher made while it plays), seeks and scans race with the callbacks:
// every close must still find the device idle. Under ThreadSanitizer this
// also shows that the stretcher is used by one thread at a time.
TEST_F(PlaybackSpeedTest, SpeedChangesWhileTheDeviceRunsFreelyAlwaysLeaveItClosable) {
  const std::string path = Recorded("long.wav", kFormatPcm8k16, Numbered(640 * 400));
  device_->Clock().RunAtSpeed(400.0);
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(io_->SetPlaybackSpeed(100));
    StartPlaying(stream_, path);
    for (int i = 0; i < 12; ++i) {
      ASSERT_TRUE(
          io_->SetPlaybackSpeed(PlaybackSpeeds()[static_cast<size_t>(i + round) % PlaybackSpeeds().size()]));
      ASSERT_TRUE(io_->Seek((i * 41) % 90));
      if (i % 4 == 0) {
        ASSERT_TRUE(io_->StartScan(ScanForward));
        ASSERT_TRUE(io_->SetPlaybackSpeed(75));
        ASSERT_TRUE(io_->StopScan());
      }
      ASSERT_TRUE(io_->Pause());
      ASSERT_TRUE(io_->SetPlaybackSpeed(150));
      ASSERT_TRUE(io_->Seek((i * 29) % 90));
      ASSERT_TRUE(io_->Resume());
    }
    ASSERT_TRUE(io_->Close());
    stream_.Close();
  }
}

// The stretcher on its own, with either engine, on the formats a file may
// have: the frames it hands out are the input's over the speed, each channel
// at its pitch.
TEST(TimeStretch, EveryFormatKeepsItsPitchAndTakesItsLength) {
  TempDir dir;
  struct Case {
    uint32_t rate, bits, channels, speed;
    TimeStretch::Engine engine;
  };
  using Engine = TimeStretch::Engine;
  for (const Case& c : {Case{11025, 8, 1, 75, Engine::Faster}, Case{22050, 16, 2, 75, Engine::Faster},
                        Case{44100, 16, 1, 150, Engine::Faster}, Case{8000, 16, 1, 50, Engine::Faster},
                        Case{8000, 16, 1, 75, Engine::Finer}, Case{22050, 16, 2, 200, Engine::Finer}}) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + " bits x" +
                 std::to_string(c.channels) + (c.engine == Engine::Finer ? ", finer" : ", faster"));
    const std::vector<int16_t> left = Tone(2.0, c.rate, 500), right = Tone(2.0, c.rate, 700);
    Bytes data;
    for (size_t i = 0; i < left.size(); ++i) {
      for (uint32_t ch = 0; ch < c.channels; ++ch) {
        const int16_t s = ch == 0 ? left[i] : right[i];
        if (c.bits == 8) {
          data.push_back(static_cast<uint8_t>((s >> 8) + 128));
        } else {
          Put(data, static_cast<uint16_t>(s), 2);
        }
      }
    }
    WriteBytes(dir.File("in.wav"), Riff({{"fmt ", PcmFmt(c.channels, c.rate, c.bits)}, {"data", data}}));
    WaveFileStream stream;
    ASSERT_TRUE(stream.Open(HostPath(dir.File("in.wav")), kStreamRead));
    std::unique_ptr<TimeStretch> stretch = TimeStretch::Create(*stream.GetFormat(), c.engine);
    ASSERT_NE(stretch, nullptr);
    stretch->SetSpeed(c.speed);
    Bytes out;
    uint32_t size = 640;
    for (uint8_t* block; (block = stretch->Read(&stream, &size)) != nullptr; size = 640) {
      EXPECT_EQ(size % stream.GetBlockAlign(), 0u);
      out.insert(out.end(), block, block + size);
      diag::TrackedDelete(block);
    }
    EXPECT_TRUE(stretch->Drained());
    const std::vector<float> heard = Samples(out, c.rate, c.bits, c.channels);
    const double frames = static_cast<double>(heard.size()) / c.channels;
    EXPECT_NEAR(frames, left.size() * 100.0 / c.speed, 0.02 * left.size() * 100.0 / c.speed);
    for (uint32_t ch = 0; ch < c.channels; ++ch) {
      std::vector<float> channel;
      for (size_t i = ch; i < heard.size(); i += c.channels) channel.push_back(heard[i]);
      const double hz = ch == 0 ? 500 : 700;
      EXPECT_NEAR(ToneFrequency(channel, c.rate, hz, c.rate / 10, channel.size() - c.rate / 10), hz, hz / 100)
          << ch;
    }
  }
  WaveFormatEx gsmFile{kWaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
  EXPECT_EQ(TimeStretch::Create(gsmFile), nullptr) << "only PCM: a GSM stream gives its device format";
}

}  // namespace
}  // namespace audiotest
