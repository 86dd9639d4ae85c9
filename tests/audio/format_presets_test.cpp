#include "audio/format_presets.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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
    EXPECT_EQ(std::tuple(f.SamplesPerSec, f.BitsPerSample), std::tuple(p.Bits ? p.Rate : 0, p.Bits)) << p.Id;
  }
  EXPECT_EQ(PresetToFormatId(8), 0u);
  EXPECT_EQ(FormatIdToPreset(kFormatPcm44k16), 0);
}

}  // namespace
}  // namespace audio
