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

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> bytes(s.size() * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  return bytes;
}

// `count` samples alternating between `even` and `odd`.
std::vector<uint8_t> Alternating16(size_t count, int16_t even, int16_t odd) {
  std::vector<int16_t> s(count);
  for (size_t i = 0; i < count; ++i) s[i] = i % 2 ? odd : even;
  return Bytes16(s);
}

std::vector<uint8_t> Alternating8(size_t count, uint8_t even, uint8_t odd) {
  std::vector<uint8_t> b(count);
  for (size_t i = 0; i < count; ++i) b[i] = i % 2 ? odd : even;
  return b;
}

TEST(AmplifyBuffer, GainAndClippingForBothWidths) {
  const WaveFormatEx f16 = Pcm(1, 16), f8 = Pcm(1, 8);
  std::vector<uint8_t> bytes = Bytes16({32767, -32768, 1000, 0, -1000, 11184, 11185});
  bytes.push_back(7);  // a stray odd byte is left alone
  AmplifyBuffer(&f16, bytes.data(), static_cast<uint32_t>(bytes.size()));
  std::vector<uint8_t> expected = Bytes16({32767, -32767, 2930, 0, -2930, 32766, 32767});
  expected.push_back(7);
  EXPECT_EQ(bytes, expected);
  std::vector<uint8_t> eight = {128, 160, 161, 0, 255, 96, 127};
  AmplifyBuffer(&f8, eight.data(), static_cast<uint32_t>(eight.size()));
  EXPECT_EQ(eight, (std::vector<uint8_t>{128, 253, 255, 0, 255, 3, 124}));
}

class MeasureLevelTest : public ::testing::Test {
 protected:
  void Measure(const WaveFormatEx& f, const std::vector<uint8_t>& bytes, int threshold = 0) {
    format_ = f;
    meter_.MeterFormat.store(&format_);
    meter_.Threshold.store(threshold);
    meter_.Dirty.store(false);
    MeasureLevel(&meter_, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  MeterState meter_;
  WaveFormatEx format_{};
};

TEST_F(MeasureLevelTest, LevelsAndTheVoiceDecision) {
  // Stereo packs left in the low byte, right in the high; voice is decided on their average.
  const struct {
    const char* Name;
    WaveFormatEx Format;
    std::vector<uint8_t> Bytes;
    uint16_t Level;
    int Voice;  // the highest threshold still reached
  } cases[] = {
      {"8-bit silence", Pcm(1, 8), std::vector<uint8_t>(640, 128), 0, 0},
      {"8-bit bottom", Pcm(1, 8), std::vector<uint8_t>(640, 0), 100, 100},
      {"8-bit top", Pcm(1, 8), std::vector<uint8_t>(640, 255), 99, 99},
      {"8-bit half", Pcm(1, 8), Alternating8(640, 0, 128), 50, 50},
      {"16-bit even samples only", Pcm(1, 16), Alternating16(320, -32767, 0), 100, 100},
      {"16-bit odd samples unseen", Pcm(1, 16), Alternating16(320, 0, 32767), 0, 0},
      {"8-bit stereo", Pcm(2, 8), Alternating8(640, 128 + 64, 128 - 32), 25 * 256 + 50, 37},
      {"16-bit stereo", Pcm(2, 16), Alternating16(320, 6552, -3276), 10 * 256 + 20, 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Measure(c.Format, c.Bytes, c.Voice);
    EXPECT_EQ(meter_.Level.load(), c.Level);
    EXPECT_TRUE(meter_.AboveThreshold.load());
    EXPECT_TRUE(meter_.Dirty.load());
    Measure(c.Format, c.Bytes, c.Voice + 1);
    EXPECT_FALSE(meter_.AboveThreshold.load());
  }
}

TEST_F(MeasureLevelTest, SkippedWhileDirtyAndInsideLyingBlockAligns) {
  Measure(Pcm(1, 8), std::vector<uint8_t>(64, 0));
  const std::vector<uint8_t> silent(64, 128);
  MeasureLevel(&meter_, silent.data(), 64);  // not drawn yet: not measured
  EXPECT_EQ(meter_.Level.load(), 100);
  // A block align of 1 would take the index rule past the buffer (ASan checks).
  for (uint16_t channels : {2, 1}) {
    WaveFormatEx f = Pcm(channels, 16);
    f.BlockAlign = 1;
    Measure(f, std::vector<uint8_t>(channels == 2 ? 10 : 9, 0x7F));
    EXPECT_TRUE(meter_.Dirty.load());
  }
}

}  // namespace
}  // namespace audio
