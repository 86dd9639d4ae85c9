#include "audio/gsm_codec.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "wave_test_files.h"

namespace audio {
namespace {

// `pairs` pairs of `samples` (at `shift` bytes into a copy, to test alignment).
std::vector<uint8_t> Encode(GsmHandle h, const std::vector<int16_t>& samples, size_t pairs, size_t shift = 0) {
  std::vector<uint8_t> copy(samples.size() * 2 + shift);
  std::memcpy(copy.data() + shift, samples.data(), samples.size() * 2);
  std::vector<uint8_t> out(pairs * kGsmPairBytes, 0xAA);
  for (size_t p = 0; p < pairs; ++p) EncodeGsmPair(h, copy.data() + shift + p * 640, out.data() + p * kGsmPairBytes);
  return out;
}

TEST(GsmCodec, PairsRoundTripAndMatchAPlainWav49Decoder) {
  const std::vector<int16_t> input = audiotest::SpeechLike(320 * 50);
  GsmHandle encoder = CreateGsmCodec();
  GsmHandle decoder = CreateGsmCodec();
  ASSERT_NE(encoder, nullptr);
  ASSERT_NE(decoder, nullptr);
  const std::vector<uint8_t> pairs = Encode(encoder, input, 50);

  gsm plain = gsm_create();  // an independent decoder straight on libgsm
  int one = 1;
  gsm_option(plain, GSM_OPT_WAV49, &one);
  std::vector<int16_t> ours(input.size()), theirs(input.size());
  for (size_t p = 0; p < 50; ++p) {
    const uint8_t* pair = pairs.data() + p * kGsmPairBytes;
    ASSERT_TRUE(DecodeGsmPair(decoder, pair, ours.data() + p * 320));
    gsm_decode(plain, const_cast<uint8_t*>(pair), theirs.data() + p * 320);
    gsm_decode(plain, const_cast<uint8_t*>(pair) + 33, theirs.data() + p * 320 + 160);
  }
  EXPECT_EQ(ours, theirs);
  double signal = 0, noise = 0;  // past the codec's settling time
  for (size_t i = 1600; i < input.size(); ++i) {
    signal += double(input[i]) * input[i];
    noise += (double(input[i]) - ours[i]) * (double(input[i]) - ours[i]);
  }
  EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 5.0) << "the decoded signal must resemble the input";
  gsm_destroy(plain);
  DestroyGsmCodec(encoder);
  DestroyGsmCodec(decoder);
}

TEST(GsmCodec, HandlesKeepTheirOwnStateAndTakeAnyAlignment) {
  const std::vector<int16_t> a = audiotest::SpeechLike(320 * 8, 8000, 1), b = audiotest::SpeechLike(320 * 8, 8000, 99);
  auto alone = [](const std::vector<int16_t>& s, size_t shift) {
    GsmHandle h = CreateGsmCodec();
    std::vector<uint8_t> out = Encode(h, s, 8, shift);
    DestroyGsmCodec(h);
    return out;
  };
  // Two streams coded in turn give what each gives alone.
  GsmHandle ha = CreateGsmCodec(), hb = CreateGsmCodec();
  std::vector<uint8_t> outA(8 * kGsmPairBytes), outB(8 * kGsmPairBytes);
  for (size_t p = 0; p < 8; ++p) {
    EncodeGsmPair(ha, a.data() + p * 320, outA.data() + p * kGsmPairBytes);
    EncodeGsmPair(hb, b.data() + p * 320, outB.data() + p * kGsmPairBytes);
  }
  EXPECT_EQ(outA, alone(a, 0));
  EXPECT_EQ(outB, alone(b, 0));
  EXPECT_EQ(alone(a, 1), outA) << "odd addresses code the same";
  DestroyGsmCodec(ha);
  DestroyGsmCodec(hb);
  DestroyGsmCodec(nullptr);  // nothing to release
}

}  // namespace
}  // namespace audio
