// Result texts, the format record and the query's view of formats.

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "wave_test_support.h"

namespace wavetest {
namespace {

using namespace platform;

TEST(WaveTypes, EveryResultCodeHasItsOwnTextAndUnknownCodesNone) {
  std::set<std::u16string> texts;
  for (uint32_t code : {0u, 1u, 2u, 4u, 5u, 6u, 7u, 11u, 12u, 32u, 33u, 34u}) {
    const std::u16string text = WaveErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_LE(text.size(), 128u) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 12u);
  EXPECT_TRUE(WaveErrorText(3).empty());
  EXPECT_TRUE(WaveErrorText(999).empty());
}

TEST(WaveTypes, FormatRecordIsTheClassicEighteenBytes) {
  const WaveFormat f = MakePcmFormat(22050, 16, 2);
  const unsigned char expected[18] = {1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x88, 0x58, 1, 0, 4, 0, 16, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(&f, expected, sizeof expected));
  EXPECT_EQ(WaveBytesPerSecond(f), 88200u);
}

TEST_F(VirtualDeviceTest, QueryChecksPcmShapeAndAcceptsGsm) {
  WaveFormat skewed = pcm16_, doubled = pcm16_;
  skewed.blockAlign = 4;
  doubled.samplesPerSec *= 2;  // a scan doubles the rate and leaves the byte rate alone
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 8, 1)), kWaveOk);
  EXPECT_EQ(WaveInDevice::Query(0, MakePcmFormat(44100, 16, 2)), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(3, pcm16_), kWaveBadDeviceId);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 24, 1)), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, MakePcmFormat(8000, 16, 3)), kWaveBadFormat);
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, skewed), kWaveBadFormat);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, doubled), kWaveOk);

  const WaveFormat gsm{kWaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
  EXPECT_EQ(WaveInDevice::Query(kWaveMapper, gsm), kWaveOk);
  EXPECT_EQ(WaveOutDevice::Query(kWaveMapper, gsm), kWaveOk);
  std::unique_ptr<WaveOutDevice> out;
  EXPECT_EQ(WaveOutDevice::Open(out, kWaveMapper, gsm, nullptr, 0), kWaveBadFormat);  // the device takes PCM only
  EXPECT_EQ(WaveOutDevice::Open(out, 1, pcm16_, nullptr, 0), kWaveBadDeviceId);
}

}  // namespace
}  // namespace wavetest
