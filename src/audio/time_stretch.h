#pragma once
// Playback at another speed with the pitch kept: blocks read forward from a
// stream go through Rubber Band's real-time stretcher and come out as blocks
// of the same device format, longer (slower) or shorter (faster), the
// voice at its own pitch.
//
// One thread at a time drives it, the one that reads the stream (the
// device's callback, or the owner while the device holds still), as with
// the stream itself. Everything is allocated by Create, nothing afterwards
// but the blocks handed out.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/audio_stream.h"
#include "audio/wave_format_ex.h"
#include "diag/tracker.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace audio {

class TimeStretch : public diag::Tracked {
 public:
  // Frames handed to the stretcher at a time at most: a device block of
  // 8-bit mono, the most frames a block holds.
  static constexpr uint32_t kMaxBlockFrames = 640;

  // Rubber Band's two engines: the faster one is playback's; the finer one
  // (with its short window) is there to compare with (bench/).
  enum class Engine { Faster, Finer };

  // Null when the format cannot be stretched (PCM of 1 or 2 channels and 8
  // to 32 bits at any rate can) or the stretcher cannot be set up.
  static std::unique_ptr<TimeStretch> Create(const WaveFormatEx& format, Engine engine = Engine::Faster);
  ~TimeStretch();
  TimeStretch(const TimeStretch&) = delete;
  TimeStretch& operator=(const TimeStretch&) = delete;

  // The speed in per cent (audio/playback_speed.h), from the next block on.
  void SetSpeed(uint32_t percent);
  uint32_t Speed() const { return speed_; }
  // Forgets what it holds: the next block starts afresh from where the
  // stream is, in step with it.
  void Reset();
  // A new block (diag::TrackedNew) of at most *size bytes, whole frames,
  // *size set to what it holds; the stream is read forward as needed. Null
  // once everything the stream held has been handed out (Drained), and when
  // the stream cannot be read on before its end (not Drained): the caller
  // tells the two apart as it does for the stream's own Read.
  uint8_t* Read(IAudioStream* stream, uint32_t* size);
  // The stream's data has ended and all of it has been handed out.
  bool Drained() const { return drained_; }

 private:
  TimeStretch(const WaveFormatEx& format, std::unique_ptr<RubberBand::RubberBandStretcher> stretcher);
  // Feeds interleaved samples (at most kMaxBlockFrames frames).
  void Feed(const float* interleaved, uint32_t frames);
  // Silence that owes no output: before the start and after the end.
  void FeedSilence(size_t frames, bool last);
  // Output frames ready to hand out, after the start delay is skipped.
  uint32_t Ready();
  // Output frames still owed for what was fed.
  uint64_t Owed() const;
  void ApplyRatio();

  const WaveFormatEx format_;
  const uint32_t channels_;
  const uint32_t width_;
  std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
  uint32_t speed_ = 100;
  double ratio_ = 1.0;
  bool fresh_ = true;      // nothing fed since Reset
  bool finished_ = false;  // the end of the data was fed
  bool drained_ = false;
  uint32_t skip_ = 0;  // output frames still to drop: the stretcher's start delay
  // Output frames owed for the input fed (each block at the ratio it was
  // fed at) and handed out: at the end the stretcher's tail beyond what is
  // owed is its window running out over silence, and is dropped.
  double owed_ = 0;
  uint64_t handedOut_ = 0;
  // Scratch of kMaxBlockFrames frames, planar for the stretcher and
  // interleaved for the bytes.
  std::vector<float> planar_;
  std::vector<float*> channelPointers_;
  std::vector<float> interleaved_;
  std::vector<uint8_t> bytes_;
};

}  // namespace audio
