#include "audio/level_measure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace audio {
namespace {

WaveFormatEx Pcm(uint16_t channels, uint16_t bits) {
  const auto align = static_cast<uint16_t>(channels * bits / 8);
  return WaveFormatEx{kWaveFormatPcm, channels, 8000, 8000u * align, align, bits, 0};
}

std::vector<uint8_t> Samples16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

int16_t At16(const std::vector<uint8_t>& bytes, size_t i) {
  int16_t s;
  std::memcpy(&s, bytes.data() + 2 * i, 2);
  return s;
}

TEST(AmplifyBuffer, SixteenBitGainAndClipping) {
  const WaveFormatEx f = Pcm(1, 16);
  auto bytes = Samples16({32767, -32768, 1000, 0, -1000, 11184, 11185});
  AmplifyBuffer(&f, bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(At16(bytes, 0), 32767);
  EXPECT_EQ(At16(bytes, 1), -32767) << "the negative limit is -32767";
  EXPECT_EQ(At16(bytes, 2), 2930);
  EXPECT_EQ(At16(bytes, 3), 0);
  EXPECT_EQ(At16(bytes, 4), -2930);
  EXPECT_EQ(At16(bytes, 5), 32766);  // (11184 x 750 + 128) >> 8
  EXPECT_EQ(At16(bytes, 6), 32767);  // 32769 clipped
}

TEST(AmplifyBuffer, EightBitAroundTheMiddle) {
  const WaveFormatEx f = Pcm(1, 8);
  std::vector<uint8_t> bytes = {128, 160, 161, 0, 255, 96, 127};
  AmplifyBuffer(&f, bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{128, 253, 255, 0, 255, 3, 124}));
}

TEST(AmplifyBuffer, OddByteAndNoFormatAreLeftAlone) {
  const WaveFormatEx f = Pcm(1, 16);
  auto bytes = Samples16({1000, 1000});
  bytes.push_back(7);
  AmplifyBuffer(&f, bytes.data(), 3);  // one whole sample and a stray byte
  EXPECT_EQ(At16(bytes, 0), 2930);
  EXPECT_EQ(At16(bytes, 1), 1000);
  AmplifyBuffer(nullptr, bytes.data(), 4);
  EXPECT_EQ(At16(bytes, 0), 2930);
}

class MeasureLevelTest : public ::testing::Test {
 protected:
  void Measure(const WaveFormatEx& f, const std::vector<uint8_t>& bytes) {
    format_ = f;
    meter_.MeterFormat.store(&format_);
    meter_.Dirty.store(false);
    MeasureLevel(&meter_, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  MeterState meter_;
  WaveFormatEx format_{};
};

TEST_F(MeasureLevelTest, EightBitMono) {
  Measure(Pcm(1, 8), std::vector<uint8_t>(640, 128));
  EXPECT_EQ(meter_.Level.load(), 0);
  EXPECT_TRUE(meter_.Dirty.load());
  Measure(Pcm(1, 8), std::vector<uint8_t>(640, 0));
  EXPECT_EQ(meter_.Level.load(), 100);
  Measure(Pcm(1, 8), std::vector<uint8_t>(640, 255));
  EXPECT_EQ(meter_.Level.load(), 99);
  // Mean of |x - 128| over 0 and 128 alternating = 64 -> 50 %.
  std::vector<uint8_t> half(640);
  for (size_t i = 0; i < half.size(); ++i) half[i] = i % 2 ? 128 : 0;
  Measure(Pcm(1, 8), half);
  EXPECT_EQ(meter_.Level.load(), 50);
}

TEST_F(MeasureLevelTest, SixteenBitMonoUsesEverySecondSample) {
  // Full scale on the even samples only: the even sum over all samples is
  // half of full scale = 100 %.
  std::vector<int16_t> s(320);
  for (size_t i = 0; i < s.size(); i += 2) s[i] = -32767;
  Measure(Pcm(1, 16), Samples16(s));
  EXPECT_EQ(meter_.Level.load(), 100);
  // The odd samples are not looked at.
  std::vector<int16_t> odd(320);
  for (size_t i = 1; i < odd.size(); i += 2) odd[i] = 32767;
  Measure(Pcm(1, 16), Samples16(odd));
  EXPECT_EQ(meter_.Level.load(), 0);
  // A steady 3277 (10 % of full scale): mean of halves 1638.5 -> 1639 -> 10 %.
  Measure(Pcm(1, 16), Samples16(std::vector<int16_t>(320, 3277)));
  EXPECT_EQ(meter_.Level.load(), 10);
}

TEST_F(MeasureLevelTest, TwoChannelsPackLeftLowRightHigh) {
  // 8-bit stereo: the index steps by channels x block align (4) below
  // n = bytes / 4, so a quarter of the frames are summed and divided by n;
  // the divisor 32 makes up for it. Left |x - 128| = 64, right 32.
  std::vector<uint8_t> b(640);
  for (size_t i = 0; i < b.size(); i += 2) {
    b[i] = 128 + 64;
    b[i + 1] = 128 - 32;
  }
  meter_.Threshold.store(37);
  Measure(Pcm(2, 8), b);
  EXPECT_EQ(meter_.Level.load() & 0xFF, 50);
  EXPECT_EQ(meter_.Level.load() >> 8, 25);
  EXPECT_TRUE(meter_.AboveThreshold.load()) << "(50 + 25) / 2 = 37";
  meter_.Threshold.store(38);
  Measure(Pcm(2, 8), b);
  EXPECT_FALSE(meter_.AboveThreshold.load());
}

TEST_F(MeasureLevelTest, TwoChannelsSixteenBitAndTheirThreshold) {
  // Step 8 below n = 80: ten frames summed, divided by 80, scaled by 4095.
  std::vector<int16_t> s(320);
  for (size_t i = 0; i < s.size(); i += 2) {
    s[i] = 6552;       // mean 819 -> 20 %
    s[i + 1] = -3276;  // mean 409.5 -> 410 -> 10 %
  }
  meter_.Threshold.store(15);
  Measure(Pcm(2, 16), Samples16(s));
  EXPECT_EQ(meter_.Level.load(), 10 * 256 + 20);
  EXPECT_TRUE(meter_.AboveThreshold.load());
  meter_.Threshold.store(16);
  Measure(Pcm(2, 16), Samples16(s));
  EXPECT_FALSE(meter_.AboveThreshold.load());
}

TEST_F(MeasureLevelTest, ThresholdDecidesVoice) {
  meter_.Threshold.store(0);
  Measure(Pcm(1, 8), std::vector<uint8_t>(64, 128));
  EXPECT_TRUE(meter_.AboveThreshold.load()) << "a threshold of 0 passes silence";
  meter_.Threshold.store(50);
  Measure(Pcm(1, 8), std::vector<uint8_t>(64, 64));  // 64 -> 50 %
  EXPECT_TRUE(meter_.AboveThreshold.load());
  meter_.Threshold.store(51);
  Measure(Pcm(1, 8), std::vector<uint8_t>(64, 64));
  EXPECT_FALSE(meter_.AboveThreshold.load());
}

TEST_F(MeasureLevelTest, SkippedWhileDirtyOrClosed) {
  Measure(Pcm(1, 8), std::vector<uint8_t>(64, 0));
  ASSERT_EQ(meter_.Level.load(), 100);
  // Not drawn yet: the next buffer is not measured and its level is lost.
  const std::vector<uint8_t> silent(64, 128);
  MeasureLevel(&meter_, silent.data(), 64);
  EXPECT_EQ(meter_.Level.load(), 100);
  meter_.Dirty.store(false);
  MeasureLevel(&meter_, silent.data(), 0);
  EXPECT_FALSE(meter_.Dirty.load()) << "an empty buffer is not a measurement";
  MeasureLevel(&meter_, nullptr, 64);
  EXPECT_FALSE(meter_.Dirty.load());
  meter_.MeterFormat.store(nullptr);
  MeasureLevel(&meter_, silent.data(), 64);
  EXPECT_FALSE(meter_.Dirty.load());
  EXPECT_EQ(meter_.Level.load(), 100);
}

TEST_F(MeasureLevelTest, MoreChannelsOrOddWidthsKeepTheDecision) {
  meter_.AboveThreshold.store(true);
  Measure(Pcm(4, 16), std::vector<uint8_t>(640, 0x40));
  EXPECT_EQ(meter_.Level.load(), 0);
  EXPECT_TRUE(meter_.AboveThreshold.load());
  EXPECT_TRUE(meter_.Dirty.load());
  // 24-bit mono measures nothing: level 0.
  Measure(Pcm(1, 24), std::vector<uint8_t>(639, 0x40));
  EXPECT_EQ(meter_.Level.load(), 0);
}

TEST_F(MeasureLevelTest, LyingBlockAlignStaysInsideTheBuffer) {
  // Two 16-bit channels claimed with block align 1: the index rule would
  // reach past the buffer; the measurement must stay inside it (ASan checks).
  WaveFormatEx f = Pcm(2, 16);
  f.BlockAlign = 1;
  std::vector<uint8_t> b(10, 0x7F);
  Measure(f, b);
  EXPECT_TRUE(meter_.Dirty.load());
  f = Pcm(1, 16);
  f.BlockAlign = 1;
  Measure(f, std::vector<uint8_t>(9, 0x7F));
  EXPECT_TRUE(meter_.Dirty.load());
}

}  // namespace
}  // namespace audio
