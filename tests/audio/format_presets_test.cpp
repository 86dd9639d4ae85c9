#include "audio/format_presets.h"

#include <gtest/gtest.h>

#include <string>

#include "audio/mul_div_round.h"

namespace audio {
namespace {

struct Expected {
  uint32_t Id;
  uint32_t Rate;
  uint16_t Bits;
  uint32_t Average;
};

TEST(FormatPresets, PcmIdentifiersGiveMonoFormats) {
  const Expected table[] = {
      {1, 11025, 8, 11025},  {4, 11025, 16, 22050}, {16, 22050, 8, 22050},  {64, 22050, 16, 44100},
      {256, 44100, 8, 44100}, {1024, 44100, 16, 88200}, {4096, 8000, 8, 8000}, {8192, 8000, 16, 16000},
  };
  for (const Expected& e : table) {
    WaveFormatEx f{};
    ASSERT_TRUE(PcmFormatForId(e.Id, &f)) << e.Id;
    EXPECT_EQ(f.FormatTag, kWaveFormatPcm);
    EXPECT_EQ(f.Channels, 1);
    EXPECT_EQ(f.SamplesPerSec, e.Rate);
    EXPECT_EQ(f.AvgBytesPerSec, e.Average);
    EXPECT_EQ(f.BlockAlign, e.Bits / 8);
    EXPECT_EQ(f.BitsPerSample, e.Bits);
    EXPECT_EQ(f.ExtraSize, 0);
  }
}

TEST(FormatPresets, OtherIdentifiersLeaveOnlyTheTag) {
  for (uint32_t id : {0u, 2u, 49u, 8193u, 0xFFFFFFFFu}) {
    WaveFormatEx f{};
    f.SamplesPerSec = 99;
    EXPECT_FALSE(PcmFormatForId(id, &f));
    EXPECT_EQ(f.FormatTag, 1);
    EXPECT_EQ(f.Channels, 0);
    EXPECT_EQ(f.SamplesPerSec, 0u);
    EXPECT_EQ(f.BlockAlign, 0);
    EXPECT_EQ(f.BitsPerSample, 0);
  }
}

TEST(FormatPresets, GsmBlockAndDeviceFormat) {
  const GsmWaveFormat g = MakeGsmFormat();
  EXPECT_EQ(g.Format.FormatTag, 0x31);
  EXPECT_EQ(g.Format.Channels, 1);
  EXPECT_EQ(g.Format.SamplesPerSec, 8000u);
  EXPECT_EQ(g.Format.AvgBytesPerSec, 1625u);
  EXPECT_EQ(g.Format.BlockAlign, 65);
  EXPECT_EQ(g.Format.BitsPerSample, 0);
  EXPECT_EQ(g.Format.ExtraSize, 2);
  EXPECT_EQ(g.SamplesPerBlock, 320);

  const WaveFormatEx* d = GsmDeviceFormat();
  EXPECT_EQ(d, GsmDeviceFormat()) << "one record shared by every GSM stream";
  EXPECT_EQ(d->FormatTag, 1);
  EXPECT_EQ(d->SamplesPerSec, 8000u);
  EXPECT_EQ(d->AvgBytesPerSec, 16000u);
  EXPECT_EQ(d->BlockAlign, 2);
  EXPECT_EQ(d->BitsPerSample, 16);
  EXPECT_EQ(d->ExtraSize, 1);
  EXPECT_EQ(std::u16string(FormatNameForDeviceFormat(d)), u"GSM (WAV)");
  WaveFormatEx pcm{};
  PcmFormatForId(kFormatPcm8k16, &pcm);
  EXPECT_EQ(std::u16string(FormatNameForDeviceFormat(&pcm)), u"PCM (WAV)");
  EXPECT_EQ(std::u16string(FormatName(49)), u"GSM (WAV)");
  EXPECT_EQ(std::u16string(FormatName(8192)), u"PCM (WAV)");
}

TEST(FormatPresets, SliderPositionsConvertBothWays) {
  const uint32_t ids[] = {49, 4096, 1, 8192, 4, 16, 64};
  const uint32_t rates[] = {2000, 8000, 11000, 16000, 22000, 22000, 44000};
  for (int position = 1; position <= kPresetCount; ++position) {
    const uint32_t id = ids[position - 1];
    EXPECT_EQ(PresetToFormatId(position), id);
    EXPECT_EQ(FormatIdToPreset(id), position);
    EXPECT_EQ(PresetBytesPerSecond(id), rates[position - 1]);
  }
  EXPECT_EQ(PresetToFormatId(0), 0u);
  EXPECT_EQ(PresetToFormatId(8), 0u);
  EXPECT_EQ(PresetToFormatId(-1), 0u);
  EXPECT_EQ(FormatIdToPreset(256), 0) << "44100 Hz has no preset";
  EXPECT_EQ(FormatIdToPreset(1024), 0);
  EXPECT_EQ(PresetBytesPerSecond(256), 0u);
  EXPECT_EQ(PresetLabelsForId(256), nullptr);
}

std::u16string Join(const PresetLabels& l) {
  return std::u16string(l.Format) + u"|" + l.BitRate + u"|" + l.SampleRate;
}

TEST(FormatPresets, LabelsFollowTheIdentifier) {
  EXPECT_EQ(Join(*PresetLabelsForId(PresetToFormatId(4))), u"PCM|16 kb/sec|8 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(49)), u"GSM|2 kb/sec|8 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(4096)), u"PCM|8 kb/sec|8 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(1)), u"PCM|11 kb/sec|11 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(4)), u"PCM|22 kb/sec|11 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(16)), u"PCM|22 kb/sec|22 kHz");
  EXPECT_EQ(Join(*PresetLabelsForId(64)), u"PCM|44 kb/sec|22 kHz");

  const std::u16string stored[] = {u"PCM|16 kb/sec|8 kHz",  u"PCM|8 kb/sec|8 kHz",   u"PCM|44 kb/sec|22 kHz",
                                   u"GSM|2 kb/sec|8 kHz",   u"PCM|22 kb/sec|22 kHz", u"PCM|22 kb/sec|11 kHz",
                                   u"PCM|11 kb/sec|11 kHz"};
  ASSERT_EQ(PresetLabelGroups().size(), 7u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(Join(PresetLabelGroups()[i]), stored[i]) << i;
}

TEST(MulDivRound, RoundsHalfUpInSinglePrecision) {
  EXPECT_EQ(MulDivRound(127, 100, 128), 99);  // 99.22
  EXPECT_EQ(MulDivRound(1, 1, 2), 1);         // 0.5 rounds up
  EXPECT_EQ(MulDivRound(50, 3, 100), 2);      // 1.5
  EXPECT_EQ(MulDivRound(49, 3, 100), 1);      // 1.47
  EXPECT_EQ(MulDivRound(100, 7, 100), 7);
  // Negative values truncate toward zero after the + 0.5.
  EXPECT_EQ(MulDivRound(-3, 1, 2), -1);  // -1.5 + 0.5
  EXPECT_EQ(MulDivRound(-5, 1, 2), -2);  // -2.5 + 0.5
  // The product is formed in single precision: 16777217 is not representable.
  EXPECT_EQ(MulDivRound(16777217, 1, 1), 16777216);
  // 0.1f x 3 / 1 style losses: 33 x 100 / 100 stays exact.
  EXPECT_EQ(MulDivRound(33, 100, 100), 33);
  // Saturates instead of overflowing; no division by zero.
  EXPECT_EQ(MulDivRound(2000000000, 4, 1), 2147483647);
  EXPECT_EQ(MulDivRound(-2000000000, 4, 1), -2147483647 - 1);
  EXPECT_EQ(MulDivRound(5, 5, 0), 0);
}

TEST(MulDivRound, QuotientOfCounters) {
  EXPECT_EQ(RoundedQuotient(1625.0f, 1625), 1u);
  EXPECT_EQ(RoundedQuotient(12000.0f, 8000), 2u);  // 1.5 rounds up
  EXPECT_EQ(RoundedQuotient(11999.0f, 8000), 1u);
  EXPECT_EQ(RoundedQuotient(5.0f, 0), 0u);
  EXPECT_EQ(RoundedQuotient(4294967295.0f, 1), 4294967295u);
}

}  // namespace
}  // namespace audio
