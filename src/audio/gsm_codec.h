#pragma once
// GSM 06.10 on libgsm in the WAV49 packing: one 640-byte device block is 320
// 16-bit samples, two 160-sample frames, stored as one 65-byte frame pair.
// The codec keeps the packing state between the two frames of a pair, so
// each stream has its own handle and always codes whole pairs.

#include <cstdint>

struct gsm_state;  // libgsm's handle type is a pointer to this

namespace audio {

using GsmHandle = gsm_state*;

inline constexpr uint32_t kDeviceBlockBytes = 640;
inline constexpr uint32_t kGsmPairBytes = 65;
inline constexpr uint32_t kGsmPairSamples = 320;
inline constexpr uint32_t kGsmFrameSamples = 160;
// Where the second frame of a pair starts when encoding and when decoding
// (the two frames share one byte's nibbles).
inline constexpr uint32_t kGsmSecondFrameEncodeOffset = 32;
inline constexpr uint32_t kGsmSecondFrameDecodeOffset = 33;

// A codec with WAV49 packing on; null (last error set) when it cannot be made.
GsmHandle CreateGsmCodec();
void DestroyGsmCodec(GsmHandle codec);

// Encodes 320 16-bit samples (640 bytes, any alignment) into one 65-byte pair (the pair is zeroed first).
void EncodeGsmPair(GsmHandle codec, const void* samples, uint8_t* pair);
// Decodes one 65-byte pair into 320 samples; false when the codec refuses it.
bool DecodeGsmPair(GsmHandle codec, const uint8_t* pair, void* samples);

}  // namespace audio
