#include "app/playback_speed_control.h"

#include "app/transport.h"
#include "audio/playback_speed.h"
#include "settings/settings_store.h"
#include "view/main_view.h"

namespace app {

void SetPlaybackSpeed(CTransport& transport, uint32_t percent) {
  if (!transport.AudioIO.SetPlaybackSpeed(percent)) return;
  if (transport.Store != nullptr)
    transport.Store->Preferences.SetInt(kPlaybackSpeedKey, static_cast<int>(percent));
  if (transport.View != nullptr) {
    const std::u16string text = percent == audio::kNormalSpeed ? u"" : audio::PlaybackSpeedText(percent);
    transport.View->ShowSpeed(text.c_str());
  }
}

void StepPlaybackSpeed(CTransport& transport, int steps) {
  SetPlaybackSpeed(transport, audio::StepPlaybackSpeed(transport.AudioIO.GetPlaybackSpeed(), steps));
}

void RestorePlaybackSpeed(CTransport& transport) {
  uint32_t percent = audio::kNormalSpeed;
  if (transport.Store != nullptr) {
    const int stored = transport.Store->Preferences.GetInt(kPlaybackSpeedKey,
                                                           static_cast<int>(audio::kNormalSpeed), 1, 1000);
    if (audio::IsPlaybackSpeed(static_cast<uint32_t>(stored))) percent = static_cast<uint32_t>(stored);
  }
  // Shown and set without marking the preferences changed: an unread file
  // is not replaced by a default the user did not choose.
  transport.AudioIO.SetPlaybackSpeed(percent);
  if (transport.View != nullptr && percent != audio::kNormalSpeed) {
    transport.View->ShowSpeed(audio::PlaybackSpeedText(percent).c_str());
  }
}

}  // namespace app
