#pragma once
// libgsm on its own, as the reference the program's GSM files are held
// against: 320 samples to one 65-byte WAV49 pair and back.

#include <gsm.h>

#include <cstdint>
#include <vector>

namespace apptest {

// Codes 16-bit little-endian samples, whole pairs only.
inline std::vector<uint8_t> GsmEncode(const std::vector<uint8_t>& pcm) {
  std::vector<uint8_t> out;
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  const size_t samples = pcm.size() / 2;
  std::vector<gsm_signal> block(320);
  for (size_t first = 0; first + 320 <= samples; first += 320) {
    for (size_t i = 0; i < 320; ++i) {
      block[i] = static_cast<gsm_signal>(pcm[2 * (first + i)] | pcm[2 * (first + i) + 1] << 8);
    }
    uint8_t pair[65] = {};  // the second frame shares a byte with the first
    gsm_encode(codec, block.data(), pair);
    gsm_encode(codec, block.data() + 160, pair + 32);
    out.insert(out.end(), pair, pair + 65);
  }
  gsm_destroy(codec);
  return out;
}

// Decodes whole pairs to 16-bit little-endian samples.
inline std::vector<uint8_t> GsmDecode(const std::vector<uint8_t>& pairs) {
  std::vector<uint8_t> out;
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  std::vector<uint8_t> pair(65);
  std::vector<gsm_signal> samples(320);
  for (size_t o = 0; o + 65 <= pairs.size(); o += 65) {
    pair.assign(pairs.begin() + o, pairs.begin() + o + 65);
    gsm_decode(codec, pair.data(), samples.data());
    gsm_decode(codec, pair.data() + 33, samples.data() + 160);
    for (gsm_signal s : samples) {
      out.push_back(static_cast<uint8_t>(s & 0xFF));
      out.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
  }
  gsm_destroy(codec);
  return out;
}

}  // namespace apptest
