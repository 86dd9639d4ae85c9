#include "audio/gsm_codec.h"

#include <gsm.h>

#include <cerrno>
#include <cstring>

#include "platform/last_error.h"

namespace audio {

GsmHandle CreateGsmCodec() {
  gsm codec = gsm_create();
  if (codec == nullptr) {
    platform::SetLastError(ENOMEM);
    return nullptr;
  }
  int wav49 = 1;
  if (gsm_option(codec, GSM_OPT_WAV49, &wav49) == -1) {
    gsm_destroy(codec);
    platform::SetLastError(ENOTSUP);
    return nullptr;
  }
  return codec;
}

void DestroyGsmCodec(GsmHandle codec) {
  if (codec != nullptr) gsm_destroy(codec);
}

void EncodeGsmPair(GsmHandle codec, const void* samples, uint8_t* pair) {
  // libgsm takes non-const buffers; it only reads the samples, but a copy
  // keeps the caller's block untouched and aligned whatever it is.
  gsm_signal source[kGsmPairSamples];
  std::memcpy(source, samples, sizeof source);
  std::memset(pair, 0, kGsmPairBytes);
  gsm_encode(codec, source, pair);
  gsm_encode(codec, source + kGsmFrameSamples, pair + kGsmSecondFrameEncodeOffset);
}

bool DecodeGsmPair(GsmHandle codec, const uint8_t* pair, void* samples) {
  gsm_byte frames[kGsmPairBytes];
  std::memcpy(frames, pair, sizeof frames);
  gsm_signal out[kGsmPairSamples];
  if (gsm_decode(codec, frames, out) < 0) return false;
  if (gsm_decode(codec, frames + kGsmSecondFrameDecodeOffset, out + kGsmFrameSamples) < 0) return false;
  std::memcpy(samples, out, sizeof out);
  return true;
}

}  // namespace audio
