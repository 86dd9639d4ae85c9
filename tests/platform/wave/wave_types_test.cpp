// Result texts, format checks and the query's view of formats.

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/wave_gain.h"
#include "wave_test_support.h"

namespace wavetest {
namespace {

using namespace platform;

TEST(WaveTypes, EveryResultCodeHasItsOwnTextAndUnknownCodesNone) {
  std::set<std::u16string> texts;
  for (uint32_t code : {0u, 1u, 2u, 4u, 5u, 6u, 7u, 11u, 12u, 32u, 33u, 34u}) {
    std::u16string text = WaveErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_LE(text.size(), 128u) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 12u);
  EXPECT_TRUE(WaveErrorText(3).empty());
  EXPECT_TRUE(WaveErrorText(999).empty());
  EXPECT_EQ(kWaveBadFormat, 32u);
  EXPECT_EQ(kWaveStillPlaying, 33u);
  EXPECT_EQ(kWaveNoDriver, 6u);
}

TEST(WaveTypes, FormatRecordIsTheClassicEighteenBytes) {
  WaveFormat f = MakePcmFormat(22050, 16, 2);
  unsigned char raw[18];
  std::memcpy(raw, &f, sizeof raw);
  const unsigned char expected[18] = {1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 1, 0, 4, 0, 16, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(raw, expected, sizeof raw));
  EXPECT_EQ(WaveBytesPerSecond(f), 88200u);
}

TEST_F(VirtualDeviceTest, QueryChecksPcmShapeAndAcceptsGsm) {
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 8, 1)), kWaveOk);
  EXPECT_EQ(WaveInDevice::Query(0, MakePcmFormat(44100, 16, 2)), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(3, pcm16_), kWaveBadDeviceId);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 24, 1)), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 16, 3)), kWaveBadFormat);
  WaveFormat skewed = pcm16_;
  skewed.blockAlign = 4;
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, skewed), kWaveBadFormat);
  // Scanning doubles the rate and leaves the byte rate alone: still fine.
  WaveFormat doubled = pcm16_;
  doubled.samplesPerSec *= 2;
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, doubled), kWaveOk);

  WaveFormat gsm{kWaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, gsm), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, gsm), kWaveOk);
  std::unique_ptr<WaveOutDevice> out;
  EXPECT_EQ(WaveOutDevice::Open(out, kWaveMapper, gsm, nullptr, 0), kWaveBadFormat);  // the device takes PCM only
  EXPECT_EQ(WaveOutDevice::Open(out, 1, pcm16_, nullptr, 0), kWaveBadDeviceId);
}

TEST(WaveGain, FullLevelLeavesSamplesAndZeroSilencesThem) {
  WaveFormat f = MakePcmFormat(8000, 16, 1);
  std::vector<uint8_t> data = {0x01, 0x80, 0xff, 0x7f, 0x34, 0x12};
  auto copy = data;
  ApplyWaveGain(copy.data(), copy.size(), f, 0xFFFFFFFF);
  EXPECT_EQ(copy, data);
  ApplyWaveGain(copy.data(), copy.size(), f, 0xFFFF0000);  // mono follows the left level
  EXPECT_EQ(copy, std::vector<uint8_t>(6, 0));
  copy = data;
  ApplyWaveGain(copy.data(), copy.size(), f, 0x0000FFFF);
  EXPECT_EQ(copy, data);
}

}  // namespace
}  // namespace wavetest
