#pragma once
// What the parts of WaveIO share: the ring of three headers and the GSM
// stream's view of its data. Private to the device layer's sources.

#include <cstdint>

#include "audio/wave_file_stream.h"
#include "audio/wave_io.h"
#include "diag/tracker.h"

namespace audio::wave_io_detail {

using platform::WaveHeader;

inline int32_t NextIndex(int32_t index) { return index >= kWaveBufferCount - 1 || index < 0 ? 0 : index + 1; }
inline int32_t PreviousIndex(int32_t index) { return index <= 0 ? kWaveBufferCount - 1 : index - 1; }

// The header's position among the three, or -1 when it is not one of them.
inline int32_t IndexOf(const WaveHeader* headers, const WaveHeader* header) {
  for (int32_t i = 0; i < kWaveBufferCount; ++i) {
    if (headers + i == header) return i;
  }
  return -1;
}

inline void ClearHeader(WaveHeader& header) {
  if (header.data != nullptr) diag::TrackedDelete(header.data);
  header = WaveHeader{};
}

inline const WaveFileStream* AsGsmStream(const IAudioStream* stream) {
  const auto* file = dynamic_cast<const WaveFileStream*>(stream);
  return file != nullptr && file->IsGsm() ? file : nullptr;
}

// Reading forward has delivered the last whole block. For GSM that is the
// last whole pair: other writers count the pad byte of an odd pair count
// in the data size (65 x n + 1 bytes).
inline bool ForwardDataExhausted(IAudioStream* stream) {
  if (const WaveFileStream* gsm = AsGsmStream(stream)) {
    return gsm->GetPairsRead() >= gsm->GetDataBytes() / kGsmPairBytes;
  }
  return stream->GetPositionFrames() >= stream->GetLengthFrames();
}

// (part / whole) x 100, the division in single precision, 0.5 added in double.
inline uint32_t Percent(float part, float whole) {
  if (whole <= 0.0f) return 0;
  const float ratio = part / whole;
  return static_cast<uint32_t>(static_cast<double>(ratio * 100.0f) + 0.5);
}

}  // namespace audio::wave_io_detail
