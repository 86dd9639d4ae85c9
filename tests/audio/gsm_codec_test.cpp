#include "audio/gsm_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "wave_test_files.h"

namespace audio {
namespace {

// Decoding against a plain WAV49 decoder is in the stream tests; here the
// coding itself: each handle keeps its own state, any alignment codes the
// same, and what comes back resembles what went in.
TEST(GsmCodec, HandlesKeepTheirOwnStateAndRoundTripsResembleTheInput) {
  const std::vector<int16_t> a = audiotest::SpeechLike(320 * 20, 1), b = audiotest::SpeechLike(320 * 20, 99);
  auto alone = [](const std::vector<int16_t>& s, size_t shift) {
    std::vector<uint8_t> copy(s.size() * 2 + shift), out(20 * kGsmPairBytes);
    std::memcpy(copy.data() + shift, s.data(), s.size() * 2);
    GsmHandle h = CreateGsmCodec();
    for (size_t p = 0; p < 20; ++p) EncodeGsmPair(h, copy.data() + shift + p * 640, out.data() + p * kGsmPairBytes);
    DestroyGsmCodec(h);
    return out;
  };
  GsmHandle ha = CreateGsmCodec(), hb = CreateGsmCodec(), decoder = CreateGsmCodec();
  ASSERT_NE(ha, nullptr);
  std::vector<uint8_t> outA(20 * kGsmPairBytes), outB(20 * kGsmPairBytes);
  std::vector<int16_t> decoded(a.size());
  for (size_t p = 0; p < 20; ++p) {  // two streams coded in turn
    EncodeGsmPair(ha, a.data() + p * 320, outA.data() + p * kGsmPairBytes);
    EncodeGsmPair(hb, b.data() + p * 320, outB.data() + p * kGsmPairBytes);
    ASSERT_TRUE(DecodeGsmPair(decoder, outA.data() + p * kGsmPairBytes, decoded.data() + p * 320));
  }
  EXPECT_EQ(outA, alone(a, 1)) << "odd addresses code the same";
  EXPECT_EQ(outB, alone(b, 0));
  double signal = 0, noise = 0;  // past the codec's settling time
  for (size_t i = 1600; i < a.size(); ++i) {
    signal += double(a[i]) * a[i];
    noise += (double(a[i]) - decoded[i]) * (double(a[i]) - decoded[i]);
  }
  EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 5.0);
  for (GsmHandle h : {ha, hb, decoder}) DestroyGsmCodec(h);
}

}  // namespace
}  // namespace audio
