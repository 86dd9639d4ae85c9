// Hardware keys: each key event looks its key up in the settings record's
// bindings and carries out the bound action. A key acts only where tapping
// the matching button could act at that moment.
#include <algorithm>

#include "app/playback_speed_control.h"
#include "app/transport.h"
#include "audio/app_flags.h"
#include "view/display_power.h"
#include "view/hardware_buttons.h"
#include "view/main_view.h"

namespace app {

using view::ButtonAction;

namespace {

constexpr int kVolumeStep = 5;

}  // namespace

void CTransport::OnKeyDown(uint32_t key) {
  if (View == nullptr || Settings == nullptr) return;
  const ButtonAction action = view::BoundAction(*Settings, key);
  switch (action) {
    case ButtonAction::VolumeUp:
    case ButtonAction::VolumeDown: {
      const bool up = action == ButtonAction::VolumeUp;
      const int current = View->SliderPercent(view::kVolumeSlider);
      const int volume = up ? std::min(current + kVolumeStep, 100) : std::max(current - kVolumeStep, 0);
      View->SetSliderPercent(view::kVolumeSlider, volume);
      SetVolumeLevel(volume);
      break;
    }
    case ButtonAction::Forward:
      if (ButtonEnabled(view::kForwardButton)) Forward(0);
      break;
    case ButtonAction::Rewind:
      if (ButtonEnabled(view::kRewindButton)) Rewind(0);
      break;
    default:
      break;
  }
}

void CTransport::OnKeyUp(uint32_t key) {
  if (View == nullptr || Settings == nullptr) return;
  switch (view::BoundAction(*Settings, key)) {
    case ButtonAction::RecordPause:
      if (AudioIO.IsPlaying()) Stop(1);
      Record(1);
      break;
    case ButtonAction::PlayPause:
      if (!ButtonEnabled(view::kPlayButton)) break;
      if (AudioIO.IsRecording()) Stop(1);
      Play(1);
      break;
    case ButtonAction::Stop:
      if (ButtonEnabled(view::kStopButton)) Stop(1);
      break;
    case ButtonAction::Forward:
      if (ButtonEnabled(view::kForwardButton)) Forward(1);
      break;
    case ButtonAction::Rewind:
      if (ButtonEnabled(view::kRewindButton)) Rewind(1);
      break;
    case ButtonAction::PrevTrack:
      if (ButtonEnabled(view::kPreviousButton)) PrevTrack(1);
      break;
    case ButtonAction::NextTrack:
      if (ButtonEnabled(view::kNextButton)) NextTrack(1);
      break;
    case ButtonAction::ScreenOnOff:
      audio::DisplayOn = audio::DisplayOn ? 0 : 1;
      view::SetDisplayPower(audio::DisplayOn != 0);
      break;
    case ButtonAction::Slower:
      StepPlaybackSpeed(*this, -1);
      break;
    case ButtonAction::Faster:
      StepPlaybackSpeed(*this, 1);
      break;
    default:
      break;
  }
}

}  // namespace app
