#include "app/transport.h"

#include <algorithm>
#include <cerrno>

#include "app/document_list.h"
#include "app/recording_place.h"
#include "app/save_report.h"
#include "app/text_buffer.h"
#include "app/transport_devices.h"
#include "audio/app_flags.h"
#include "audio/mul_div_round.h"
#include "diag/show_error.h"
#include "platform/last_error.h"
#include "platform/wave_types.h"
#include "settings/settings_store.h"
#include "view/display_power.h"
#include "view/main_view.h"
#include "view/record_led.h"

namespace app {

using audio::WaveDirection;

CTransport::CTransport(QWidget* owner) : Owner(owner) {}

CTransport::~CTransport() { CloseDevice(); }

std::u16string CTransport::DisplayName(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  return name;
}

bool CTransport::SetFilePath(const std::u16string& path) {
  if (path.size() >= static_cast<size_t>(kPathChars)) {
    UnplayablePath = path;
    return false;
  }
  UnplayablePath.clear();
  CopyText(FilePath, path);
  return true;
}

void CTransport::ShowPathTooLong(const std::u16string& path) {
  diag::ShowError(Owner, u"The name of \"%1\" is too long to play it: rename it to a shorter one.", 0,
                  {DisplayName(path)});
}

bool CTransport::ButtonEnabled(int id) const {
  const int row = id - view::kFirstButton;
  if (View == nullptr || row < 0 || row >= view::kButtonCount) return false;
  return View->Buttons[row].Enabled != 0;
}

bool CTransport::StopEnabled() const { return ButtonEnabled(view::kStopButton); }

void CTransport::ShowDeviceError() { diag::ShowError(Owner, AudioIO.GetErrorText(), 0); }

void CTransport::ShowQueryFailure(const char16_t* formatText) {
  const uint32_t error = AudioIO.LastError;
  if (error != 0 && error != platform::kWaveBadFormat) {
    ShowDeviceError();
  } else {
    diag::ShowError(Owner, formatText, 0);
  }
}

void CTransport::ShowFormatFor(bool gsm) { View->ShowFormat(gsm ? u"GSM (WAV)" : u"PCM (WAV)"); }

audio::WaveFileStream* CTransport::NewStream() {
  auto* stream = new audio::WaveFileStream;  // tracked: null when memory runs out
  if (stream == nullptr) {
    if (platform::GetLastError() == 0) platform::SetLastError(ENOMEM);
    diag::ShowError(Owner, u"Allocate memory failed.", platform::GetLastError());
  }
  return stream;
}

void CTransport::ReleaseStream(audio::IAudioStream* stream) {
  if (stream != nullptr) {
    stream->Close();
    delete stream;
  }
  AudioIO.Stream = nullptr;
}

bool CTransport::OpenDevice(audio::IAudioStream* stream, WaveDirection direction) {
  AudioIO.DeviceId = &DeviceId;
  AudioIO.Stream = stream;
  AudioIO.FormatSlot = &DeviceFormat;
  return AudioIO.Open(direction);
}

// ---- state at start and exit ------------------------------------------------

bool CTransport::RestoreState() {
  if (Settings == nullptr || View == nullptr) return false;
  View->SetSliderPercent(view::kVolumeSlider, Settings->Volume);
  ApplyVolume();
  View->SetSliderPercent(view::kPositionSlider, 0);
  ApplyPosition(0);
  View->Sliders[view::kPositionSlider - view::kFirstSlider].Enabled = 0;
  ShowVolumeIconFor(Settings->Volume);
  View->ShowStatusIcon(kStatusStopped);
  audio::VasEnabled = (Settings->VasMode & 2) != 0 ? 1 : 0;
  View->SetButtonToggled(view::kVasButton, audio::VasEnabled != 0);
  View->SetSliderPercent(view::kThresholdSlider, Settings->VasThreshold);
  ApplyVasThreshold();
  // The level meter and the amplify flags read the record from the start,
  // listening included.
  AudioIO.Settings = Settings;
  View->Meter.Settings = Settings;
  UpdateVas(1);
  View->EnableButton(view::kForwardButton, false);
  View->EnableButton(view::kRewindButton, false);
  View->EnableButton(view::kStopButton, false);
  View->Buttons[view::kPlayButton - view::kFirstButton].LoadButtonFaces(170, 171, 168, 169);
  View->Buttons[view::kRecordButton - view::kFirstButton].LoadButtonFaces(172, 167, 0, 0);
  View->EnableButton(view::kPlayButton, false);
  View->EnableButton(view::kPreviousButton, false);
  View->EnableButton(view::kNextButton, false);

  // A storage card that is out must not keep the program from starting (the
  // user could never change the storage): say so and go on without a name.
  RecordingPlace place;
  if (ChooseRecordingPlace(Settings->Storage, &place)) {
    View->ShowFileName(DisplayName(place.Name).c_str());
  } else {
    ShowRecordingPlaceFailure(Owner, place, Settings->Storage, platform::GetLastError());
  }
  return true;
}

void CTransport::SaveState() {
  if (Settings == nullptr || View == nullptr) return;
  Settings->VasMode = View->Buttons[view::kVasButton - view::kFirstButton].Toggled ? 2 : 1;
  Settings->VasThreshold = View->SliderPercent(view::kThresholdSlider);
  Settings->Volume = View->SliderPercent(view::kVolumeSlider);
}

void CTransport::CloseDevice() {
  audio::IAudioStream* stream = AudioIO.Stream;
  if (AudioIO.Direction != WaveDirection::None) AudioIO.Close();
  if (stream != nullptr) {
    ReleaseStream(stream);
    audio::RecordingActive = 0;
  }
}

void CTransport::SaveSettings() {
  if (Store == nullptr) return;
  SaveReport report;
  SaveAll(*Store, &report);
  report.Tell(Owner, !ExitBySignal);
}

// ---- pen ----------------------------------------------------------------------

void CTransport::OnLButtonDown(int x, int y) {
  // The pen is captured by the widget it went down on (Qt's implicit grab).
  int id = 0;
  if (View == nullptr || !View->PointerDown(x, y, &id) || id == 0) return;
  if (id == view::kVolumeSlider || id == view::kPositionSlider) {
    OnSlider(id, 0);
  } else {
    OnButton(id, 0);
  }
}

void CTransport::OnMouseMove(int x, int y) {
  int id = 0;
  if (View == nullptr) return;
  View->PointerMove(x, y, &id);
  if (id == 0) {
    // The pen left the control it pressed: a scan held on Rewind/Forward ends.
    AudioIO.StopScan();
  } else if (id == view::kVolumeSlider || id == view::kPositionSlider) {
    OnSlider(id, 0);
  } else {
    OnButton(id, 0);
  }
}

void CTransport::OnLButtonUp(int x, int y) {
  int id = 0;
  if (View == nullptr || !View->PointerUp(x, y, &id) || id == 0) return;
  OnSlider(id, 1);
  OnButton(id, 1);
}

void CTransport::OnButton(int id, int act) {
  switch (id) {
    case view::kRecordButton: Record(act); break;
    case view::kPlayButton: Play(act); break;
    case view::kStopButton: Stop(act); break;
    case view::kRewindButton: Rewind(act); break;
    case view::kForwardButton: Forward(act); break;
    case view::kPreviousButton: PrevTrack(act); break;
    case view::kNextButton: NextTrack(act); break;
    case view::kVasButton: UpdateVas(act); break;
    default: break;
  }
}

void CTransport::OnSlider(int id, int act) {
  switch (id) {
    case view::kVolumeSlider: ApplyVolume(); break;
    case view::kPositionSlider: ApplyPosition(act); break;
    case view::kThresholdSlider: ApplyVasThreshold(); break;
    default: break;
  }
}

// ---- volume and threshold -----------------------------------------------------

void CTransport::ShowVolumeIconFor(int volume) {
  // 1, 33 and 66 sit between two icons: the icon keeps its level there.
  if (volume == 0) {
    View->ShowVolumeIcon(0);
  } else if (volume >= 2 && volume <= 32) {
    View->ShowVolumeIcon(1);
  } else if (volume >= 34 && volume <= 65) {
    View->ShowVolumeIcon(2);
  } else if (volume >= 67) {
    View->ShowVolumeIcon(3);
  }
}

void CTransport::SetVolumeLevel(int volume) {
  const uint32_t level = static_cast<uint16_t>(audio::MulDivRound(volume, 65535, 100));
  if (AudioIO.IsPlaying() && !AudioIO.SetVolume(level * 65537u)) {
    ShowDeviceError();
    return;
  }
  ShowVolumeIconFor(volume);
}

void CTransport::ApplyVolume() {
  if (View == nullptr) return;
  SetVolumeLevel(View->SliderPercent(view::kVolumeSlider));
}

void CTransport::ApplyVasThreshold() {
  if (View == nullptr) return;
  View->SetVasThreshold(View->SliderPercent(view::kThresholdSlider));
}

// ---- ending and pausing -------------------------------------------------------

void CTransport::CloseStreams() {
  audio::IAudioStream* stream = AudioIO.Stream;
  // A device that stopped by itself (data run out, a failed write) is still
  // open with its stream: it is released as well, or the stream would leak
  // and the next open fail.
  if (AudioIO.IsRecording() || AudioIO.Direction == WaveDirection::Input) {
    const bool recorded = audio::RecordingActive != 0;
    // A write that failed before is told by the failure's own report; one
    // that fails in the close (the input left after a slow write) here.
    const bool failedBefore = AudioIO.WriteFailed != 0;
    if (!AudioIO.Close()) ShowDeviceError();
    if (recorded && !failedBefore && AudioIO.WriteFailed) {
      diag::ShowError(Owner, u"IAudioStream::Write(): failed", AudioIO.WriteError);
    }
    if (stream != nullptr) ReleaseStream(stream);
    // Ended by Play or a tapped item as much as by Stop: the LED goes out.
    if (audio::RecordingActive) view::SetRecordLed(false);
    audio::RecordingActive = 0;
    if (DocList != nullptr) DocList->Refresh();
    if (recorded) ReportLostInput(*this);
  }
  if (AudioIO.IsPlaying() || AudioIO.Direction == WaveDirection::Output) {
    if (!AudioIO.Close()) ShowDeviceError();
    View->SetSliderPercent(view::kPositionSlider, 0);
    View->Sliders[view::kPositionSlider - view::kFirstSlider].Enabled = 0;
    if (stream != nullptr) ReleaseStream(stream);
  }
  if (DocList != nullptr && DocList->Count() > 0) EnableTrackButtons(true);
}

void CTransport::Stop(int act) {
  if (act == 0 || View == nullptr) return;
  CloseStreams();
  View->ShowStatusIcon(kStatusStopped);
  // Nothing runs: neither face stays lit.
  View->SetButtonFace(view::kRecordButton, view::FaceNormal);
  View->SetButtonFace(view::kPlayButton, view::FaceNormal);
  View->EnableButton(view::kStopButton, false);
  View->EnableButton(view::kRecordButton, true);
  EnableTrackButtons(ListHasItems());
  View->EnableButton(view::kRewindButton, false);
  View->EnableButton(view::kForwardButton, false);
  View->EnableButton(view::kVasButton, true);
  View->SetButtonToggled(view::kVasButton, audio::VasEnabled != 0);
  View->ShowTime(u"00:00:00");
  if (audio::VasEnabled) UpdateVas(1);
  view::SetRecordLed(false);
}

void CTransport::TogglePause(int act) {
  if (act == 0 || View == nullptr) return;
  const bool playback = AudioIO.Direction == WaveDirection::Output;
  const bool ledBlink = Settings != nullptr && Settings->LedBlink != 0;
  if (AudioIO.Paused) {
    if (!AudioIO.Resume()) {
      ShowDeviceError();
      return;
    }
    if (playback) {
      View->ShowStatusIcon(kStatusPlaying);
      View->SetButtonFace(view::kPlayButton, view::FaceActive);
      View->EnableButton(view::kRewindButton, true);
      View->EnableButton(view::kForwardButton, true);
    } else {
      View->ShowStatusIcon(kStatusRecording);
      View->SetButtonFace(view::kRecordButton, view::FaceActive);
      View->EnableButton(view::kRewindButton, false);
      View->EnableButton(view::kForwardButton, false);
      if (ledBlink) view::SetRecordLed(true);
    }
    return;
  }
  if (!AudioIO.Pause()) {
    ShowDeviceError();
    return;
  }
  View->ShowStatusIcon(kStatusPaused);
  if (playback) {
    View->SetButtonFace(view::kPlayButton, view::FacePaused);
  } else {
    View->SetButtonFace(view::kRecordButton, view::FaceNormal);
    if (ledBlink) view::SetRecordLed(false);
  }
  View->EnableButton(view::kRewindButton, false);
  View->EnableButton(view::kForwardButton, false);
}

bool CTransport::OnDeviceFailed() {
  // The device layer stopped a recording whose write failed (a full disk, a
  // file-size limit) or a playback whose file could not be read on: end it
  // as Stop does and say why. A recording keeps every block written before.
  if (View == nullptr) return false;
  if (EndOnLostDevice(*this)) return true;
  const bool reading = AudioIO.Direction == WaveDirection::Output && AudioIO.ReadFailed;
  const bool writing = AudioIO.Direction == WaveDirection::Input && AudioIO.WriteFailed;
  // Ended by the user meanwhile: nothing is left to say.
  if (!reading && !writing) return true;
  const int error = reading ? AudioIO.ReadError.load() : AudioIO.WriteError.load();
  Stop(1);
  diag::ShowError(Owner, reading ? u"IAudioStream::Read(): failed." : u"IAudioStream::Write(): failed", error);
  return true;
}

// ---- voice activation ---------------------------------------------------------

void CTransport::UpdateVas(int act) {
  if (act == 0 || View == nullptr) return;
  audio::VasEnabled = View->Buttons[view::kVasButton - view::kFirstButton].Toggled ? 1 : 0;
  if (audio::VasEnabled) {
    // Any open device keeps its stream: a playback with nothing queued (an
    // empty file) is still a playback, and listening must not replace it.
    if (AudioIO.IsPlaying() || AudioIO.IsRecording() || AudioIO.Direction != WaveDirection::None ||
        AudioIO.Stream != nullptr)
      return;
    // Listening: the input runs into a stream without a file, only so that
    // the level meter measures it.
    audio::WaveFileStream* stream = NewStream();
    if (stream == nullptr) return;
    stream->SetFormat(Settings != nullptr ? Settings->FormatId : 0);
    if (!AudioIO.QueryInputFormat(&DeviceId, stream)) {
      ShowQueryFailure(u"Format not support");
      ReleaseStream(stream);
      return;
    }
    if (!OpenDevice(stream, WaveDirection::Input) || !AudioIO.StartRecording(StartArgument)) {
      ShowDeviceError();
      AudioIO.Close();
      ReleaseStream(stream);
    }
    return;
  }
  if (AudioIO.IsRecording() || AudioIO.Direction == WaveDirection::Input) {
    audio::IAudioStream* stream = AudioIO.Stream;
    if (!AudioIO.Close()) ShowDeviceError();
    ReleaseStream(stream);
  }
}

bool CTransport::ListHasItems() const {
  // Without a list (it could not be made) the buttons act on FilePath alone.
  return DocList == nullptr || DocList->Count() > 0;
}

void CTransport::EnableTrackButtons(bool on) {
  if (View == nullptr) return;
  View->EnableButton(view::kNextButton, on);
  View->EnableButton(view::kPreviousButton, on);
  View->EnableButton(view::kPlayButton, on);
}

}  // namespace app
