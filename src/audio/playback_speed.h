#pragma once
// The playback speeds a listener can choose, in per cent of the file's own
// speed: 50, 75, 100, 125, 150 and 200. Whole per cents keep the value
// exact where it is stored ("PlaybackSpeed=75" beside settings.dat), shown
// ("0.75×") and compared.

#include <cstdint>
#include <span>
#include <string>

namespace audio {

inline constexpr uint32_t kNormalSpeed = 100;

// The speeds in order, slowest first.
std::span<const uint32_t> PlaybackSpeeds();
bool IsPlaybackSpeed(uint32_t percent);
// The next speed up (steps > 0) or down (steps < 0) from `percent`, held at
// the ends of the table; a value not in the table counts as 1×.
uint32_t StepPlaybackSpeed(uint32_t percent, int steps);
// "0.5×", "0.75×", "1×", "1.25×", "1.5×", "2×".
std::u16string PlaybackSpeedText(uint32_t percent);
// A speed from text: "0.75", "0.75x", "0.75×" or "75%" give 75; anything
// else, or a speed not in the table, gives 0.
uint32_t ParsePlaybackSpeed(const std::string& text);

}  // namespace audio
