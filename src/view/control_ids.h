#pragma once
// The ids of the main view's controls, as the transport sees them.

#include <cstdint>

namespace view {

enum ControlId : uint16_t {
  kRecordButton = 10,
  kPlayButton = 11,
  kStopButton = 12,
  kRewindButton = 13,
  kForwardButton = 14,
  kPreviousButton = 15,
  kNextButton = 16,
  kVasButton = 17,
  kVolumeSlider = 40,
  kPositionSlider = 41,
  kThresholdSlider = 42,
  kLevelMeterId = 50,
};

// The status icon's images (strip 160).
enum StatusIcon : int {
  kStatusRecording = 0,
  kStatusPlaying = 1,
  kStatusStopped = 2,
  kStatusPaused = 3,
};

inline constexpr int kFirstButton = kRecordButton;
inline constexpr int kButtonCount = 8;
inline constexpr int kFirstSlider = kVolumeSlider;
inline constexpr int kSliderCount = 3;

}  // namespace view
