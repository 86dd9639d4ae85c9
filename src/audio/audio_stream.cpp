#include "audio/audio_stream.h"

namespace audio {

IAudioStream::IAudioStream() = default;

IAudioStream::~IAudioStream() = default;

const WaveFormatEx* IAudioStream::GetFormat() { return &StreamFormat; }

}  // namespace audio
