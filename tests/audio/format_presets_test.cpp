#include "audio/format_presets.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "audio/mul_div_round.h"

namespace audio {
namespace {

TEST(FormatPresets, SliderPositionsFormatsRatesAndLabels) {
  const struct {
    uint32_t Id, BytesPerSecond, Rate;
    uint16_t Bits;
    const char16_t* Labels;
  } positions[] = {{49, 2000, 8000, 0, u"GSM|2 kb/sec|8 kHz"},     {4096, 8000, 8000, 8, u"PCM|8 kb/sec|8 kHz"},
                   {1, 11000, 11025, 8, u"PCM|11 kb/sec|11 kHz"},  {8192, 16000, 8000, 16, u"PCM|16 kb/sec|8 kHz"},
                   {4, 22000, 11025, 16, u"PCM|22 kb/sec|11 kHz"}, {16, 22000, 22050, 8, u"PCM|22 kb/sec|22 kHz"},
                   {64, 44000, 22050, 16, u"PCM|44 kb/sec|22 kHz"}};
  for (int position = 1; position <= kPresetCount; ++position) {
    const auto& p = positions[position - 1];
    EXPECT_EQ(PresetToFormatId(position), p.Id);
    EXPECT_EQ(FormatIdToPreset(p.Id), position);
    EXPECT_EQ(PresetBytesPerSecond(p.Id), p.BytesPerSecond);
    const PresetLabels& l = *PresetLabelsForId(p.Id);
    EXPECT_EQ(std::u16string(l.Format) + u"|" + l.BitRate + u"|" + l.SampleRate, p.Labels);
    WaveFormatEx f{};
    EXPECT_EQ(PcmFormatForId(p.Id, &f), p.Bits != 0);
    const auto align = static_cast<uint16_t>(p.Bits / 8);
    EXPECT_EQ(std::tuple(f.Channels, f.SamplesPerSec, f.AvgBytesPerSec, f.BlockAlign, f.BitsPerSample),
              std::tuple(uint16_t{p.Bits != 0}, p.Bits ? p.Rate : 0, p.Rate * align, align, p.Bits))
        << p.Id;
  }
  EXPECT_EQ(PresetToFormatId(8), 0u);
  EXPECT_EQ(FormatIdToPreset(kFormatPcm44k16), 0);
}

TEST(MulDivRound, RoundsHalfUpInSinglePrecisionAndSaturates) {
  const struct {
    int32_t Number, Numerator, Denominator, Expected;
  } table[] = {{127, 100, 128, 99}, {50, 3, 100, 2}, {-5, 1, 2, -2},  // + 0.5, then toward zero
               {16777217, 1, 1, 16777216},                             // the product is a float
               {2000000000, 4, 1, 2147483647}, {-2000000000, 4, 1, -2147483647 - 1}, {5, 5, 0, 0}};
  for (const auto& t : table) EXPECT_EQ(MulDivRound(t.Number, t.Numerator, t.Denominator), t.Expected) << t.Number;
  EXPECT_EQ(RoundedQuotient(12000.0f, 8000), 2u);
  EXPECT_EQ(RoundedQuotient(5.0f, 0), 0u);
}

}  // namespace
}  // namespace audio
