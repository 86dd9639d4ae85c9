#pragma once
// Keeps a stream of frames from running ahead of the wall clock: after each
// transfer it sleeps while more frames have passed than real time allows.

#include <chrono>
#include <cstdint>

namespace platform {

class WavePacer {
 public:
  using Clock = std::chrono::steady_clock;

  // `lead`: how far ahead of real time the stream may be (a device's buffer).
  WavePacer(uint32_t framesPerSecond, std::chrono::microseconds lead)
      : rate_(framesPerSecond), lead_(lead) {}

  // Starts counting afresh (the stream starts or resumes).
  void Restart() {
    start_ = Clock::now();
    frames_ = 0;
  }

  // `frames` more frames went through; returns how long to wait before the
  // next transfer (zero when not ahead). A stream that fell far behind (a
  // stall) is not allowed to rush to catch up: the count starts again.
  std::chrono::microseconds Advance(uint64_t frames, Clock::time_point now) {
    frames_ += frames;
    auto due = std::chrono::microseconds(static_cast<int64_t>(frames_ * 1000000 / (rate_ ? rate_ : 1)));
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - start_);
    if (elapsed > due + std::chrono::seconds(1)) {
      start_ = now;
      frames_ = 0;
      return std::chrono::microseconds(0);
    }
    auto ahead = due - elapsed - lead_;
    return ahead > std::chrono::microseconds(0) ? ahead : std::chrono::microseconds(0);
  }

 private:
  uint32_t rate_;
  std::chrono::microseconds lead_;
  Clock::time_point start_ = Clock::now();
  uint64_t frames_ = 0;
};

}  // namespace platform
