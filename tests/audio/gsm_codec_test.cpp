#include "audio/gsm_codec.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "wave_test_files.h"

namespace audio {
namespace {

double SnrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& out, size_t from) {
  double signal = 0, noise = 0;
  for (size_t i = from; i < ref.size(); ++i) {
    signal += double(ref[i]) * ref[i];
    noise += (double(ref[i]) - out[i]) * (double(ref[i]) - out[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

TEST(GsmCodec, PairsRoundTripAndMatchAPlainWav49Decoder) {
  const std::vector<int16_t> input = audiotest::SpeechLike(320 * 50);
  GsmHandle encoder = CreateGsmCodec();
  GsmHandle decoder = CreateGsmCodec();
  ASSERT_NE(encoder, nullptr);
  ASSERT_NE(decoder, nullptr);

  // An independent decoder driven straight through libgsm in WAV49 mode.
  gsm plain = gsm_create();
  int one = 1;
  gsm_option(plain, GSM_OPT_WAV49, &one);

  std::vector<int16_t> ours(input.size()), theirs(input.size());
  for (size_t p = 0; p < 50; ++p) {
    uint8_t pair[kGsmPairBytes];
    std::memset(pair, 0xAA, sizeof pair);
    EncodeGsmPair(encoder, input.data() + p * 320, pair);
    ASSERT_TRUE(DecodeGsmPair(decoder, pair, ours.data() + p * 320));
    gsm_decode(plain, pair, theirs.data() + p * 320);
    gsm_decode(plain, pair + 33, theirs.data() + p * 320 + 160);
  }
  EXPECT_EQ(ours, theirs);
  EXPECT_GT(SnrDb(input, ours, 1600), 5.0) << "the decoded signal must resemble the input";
  gsm_destroy(plain);
  DestroyGsmCodec(encoder);
  DestroyGsmCodec(decoder);
}

TEST(GsmCodec, EachHandleKeepsItsOwnState) {
  // Two streams coded in turn must give what each gives alone.
  const std::vector<int16_t> a = audiotest::SpeechLike(320 * 8, 8000, 1);
  const std::vector<int16_t> b = audiotest::SpeechLike(320 * 8, 8000, 99);
  auto encodeAlone = [](const std::vector<int16_t>& s) {
    GsmHandle h = CreateGsmCodec();
    std::vector<uint8_t> out(8 * kGsmPairBytes);
    for (size_t p = 0; p < 8; ++p) EncodeGsmPair(h, s.data() + p * 320, out.data() + p * kGsmPairBytes);
    DestroyGsmCodec(h);
    return out;
  };
  GsmHandle ha = CreateGsmCodec();
  GsmHandle hb = CreateGsmCodec();
  std::vector<uint8_t> outA(8 * kGsmPairBytes), outB(8 * kGsmPairBytes);
  for (size_t p = 0; p < 8; ++p) {
    EncodeGsmPair(ha, a.data() + p * 320, outA.data() + p * kGsmPairBytes);
    EncodeGsmPair(hb, b.data() + p * 320, outB.data() + p * kGsmPairBytes);
  }
  EXPECT_EQ(outA, encodeAlone(a));
  EXPECT_EQ(outB, encodeAlone(b));
  DestroyGsmCodec(ha);
  DestroyGsmCodec(hb);
}

TEST(GsmCodec, UnalignedBuffersAreFine) {
  const std::vector<int16_t> input = audiotest::SpeechLike(320);
  std::vector<uint8_t> shifted(641);
  std::memcpy(shifted.data() + 1, input.data(), 640);
  GsmHandle h1 = CreateGsmCodec();
  GsmHandle h2 = CreateGsmCodec();
  uint8_t p1[kGsmPairBytes], p2[kGsmPairBytes];
  EncodeGsmPair(h1, input.data(), p1);
  EncodeGsmPair(h2, shifted.data() + 1, p2);
  EXPECT_EQ(0, std::memcmp(p1, p2, kGsmPairBytes));
  DestroyGsmCodec(h1);
  DestroyGsmCodec(h2);
  DestroyGsmCodec(nullptr);  // nothing to release
}

}  // namespace
}  // namespace audio
