#pragma once
// The playback speed as the user sets it (the Tools menu's "Playback Speed",
// the Slower and Faster keys): it reaches the device at once, also while a
// file plays, stays for the next file, and is kept beside settings.dat
// ("PlaybackSpeed" in preferences.txt, in per cent) for the next start.
// While it is not 1x the view shows it beside the format.

#include <cstdint>

namespace app {

class CTransport;

inline constexpr char kPlaybackSpeedKey[] = "PlaybackSpeed";

// Sets the speed (audio/playback_speed.h; another value changes nothing).
void SetPlaybackSpeed(CTransport& transport, uint32_t percent);
// One step slower (steps < 0) or faster, held at the ends.
void StepPlaybackSpeed(CTransport& transport, int steps);
// At start: the speed kept from the last run, 1x when none or unreadable.
void RestorePlaybackSpeed(CTransport& transport);

}  // namespace app
