#include "audio/level_measure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace audio {
namespace {

WaveFormatEx Pcm(uint16_t channels, uint16_t bits, uint16_t align = 0) {
  align = align ? align : static_cast<uint16_t>(channels * bits / 8);
  return WaveFormatEx{kWaveFormatPcm, channels, 8000, 8000u * align, align, bits, 0};
}

// `count` samples alternating between `even` and `odd`, in the given width.
std::vector<uint8_t> Alternating(uint16_t bits, size_t count, int16_t even, int16_t odd) {
  std::vector<int16_t> s(count);
  for (size_t i = 0; i < count; ++i) s[i] = i % 2 ? odd : even;
  if (bits == 8) return std::vector<uint8_t>(s.begin(), s.end());
  std::vector<uint8_t> bytes(count * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  return bytes;
}

TEST(AmplifyBuffer, GainAndClippingForBothWidths) {
  const WaveFormatEx f16 = Pcm(1, 16), f8 = Pcm(1, 8);
  std::vector<uint8_t> bytes = Alternating(16, 4, 1000, -32768);
  AmplifyBuffer(&f16, bytes.data(), 8);
  EXPECT_EQ(bytes, Alternating(16, 4, 2930, -32767));
  std::vector<uint8_t> eight = {128, 160, 161, 0, 255, 96, 127};
  AmplifyBuffer(&f8, eight.data(), static_cast<uint32_t>(eight.size()));
  EXPECT_EQ(eight, (std::vector<uint8_t>{128, 253, 255, 0, 255, 3, 124}));
}

// Stereo packs left in the low byte, right in the high; voice is decided on
// their average. A block align of 1 would take the index rule past the
// buffer (ASan checks). A level not drawn yet stays shown, while voice is
// still decided on the next buffer.
TEST(MeasureLevel, LevelsTheVoiceDecisionAndTheDirtySkip) {
  const struct {
    WaveFormatEx Format;
    std::vector<uint8_t> Bytes;
    uint16_t Level;
    int Voice;  // the highest threshold still reached
  } cases[] = {
      {Pcm(1, 8), Alternating(8, 640, 128, 128), 0, 0},
      {Pcm(1, 8), Alternating(8, 640, 255, 255), 99, 99},
      {Pcm(1, 16), Alternating(16, 320, -32767, 0), 100, 100},  // only even samples count
      {Pcm(1, 16), Alternating(16, 320, 0, 32767), 0, 0},
      {Pcm(2, 8), Alternating(8, 640, 128 + 64, 128 - 32), 25 * 256 + 50, 37},
      {Pcm(2, 16), Alternating(16, 320, 6552, -3276), 10 * 256 + 20, 15},
      {Pcm(2, 16, 1), std::vector<uint8_t>(10, 0), 0, 0},
  };
  MeterState meter;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    meter.MeterFormat.store(&c.Format);
    for (int threshold : {c.Voice, c.Voice + 1}) {
      meter.Threshold.store(threshold);
      meter.Dirty.store(false);
      MeasureLevel(&meter, c.Bytes.data(), static_cast<uint32_t>(c.Bytes.size()));
      EXPECT_EQ(meter.Level.load(), c.Level);
      EXPECT_EQ(meter.AboveThreshold.load(), threshold == c.Voice);
      EXPECT_TRUE(meter.Dirty.load());
    }
  }
  const WaveFormatEx mono = Pcm(1, 16);
  meter.MeterFormat.store(&mono);
  meter.Threshold.store(50);
  const std::vector<uint8_t> loud = Alternating(16, 320, -32767, 0);
  MeasureLevel(&meter, loud.data(), static_cast<uint32_t>(loud.size()));
  EXPECT_EQ(meter.Level.load(), 0) << "the level not drawn yet stays";
  EXPECT_TRUE(meter.AboveThreshold.load()) << "voice is decided on this buffer";
}

}  // namespace
}  // namespace audio
