// Recording: a new file in the chosen storage, or pause and resume of the
// running one.
#include "app/document_list.h"
#include "app/recording_place.h"
#include "app/transport.h"
#include "audio/app_flags.h"
#include "diag/show_error.h"
#include "platform/last_error.h"
#include "view/main_view.h"
#include "view/record_led.h"

namespace app {

using audio::WaveDirection;

void CTransport::Record(int act) {
  if (act == 0 || View == nullptr || Settings == nullptr) return;
  // With voice activation on, the Stop button tells a running recording
  // (enabled) from mere listening (disabled).
  const bool inputStream = AudioIO.Stream != nullptr && AudioIO.Direction == WaveDirection::Input;
  const bool vas = audio::VasEnabled != 0;
  bool pause;
  if (inputStream) {
    pause = !vas || StopEnabled();
  } else {
    pause = vas && StopEnabled();
  }
  if (pause) {
    TogglePause(1);
    return;
  }
  StartNewRecording();
}

bool CTransport::StartNewRecording() {
  CloseStreams();
  audio::WaveFileStream* stream = NewStream();
  if (stream == nullptr) return false;
  stream->SetFormat(Settings->FormatId);

  RecordingPlace place;
  if (!ChooseRecordingPlace(Settings->Storage, &place)) {
    const int error = platform::GetLastError();
    delete stream;
    ShowRecordingPlaceFailure(Owner, place, Settings->Storage, error);
    return false;
  }
  if (!AudioIO.QueryInputFormat(&DeviceId, stream)) {
    ShowQueryFailure(u"Format not support");
    ReleaseStream(stream);
    return false;
  }
  if (!stream->Open(place.Path, audio::kStreamWrite)) {
    const int error = platform::GetLastError();
    delete stream;
    diag::ShowError(Owner, u"IAudioStream::Open(): failed", error);
    return false;
  }
  SetFilePath(place.Path);

  // Marked as recording before the device starts: a buffer that comes back
  // before the view is updated is written, so the file holds the input from
  // its first sample.
  audio::RecordingActive = 1;
  if (!OpenDevice(stream, WaveDirection::Input) || !AudioIO.StartRecording(StartArgument)) {
    audio::RecordingActive = 0;
    ShowDeviceError();
    AudioIO.Close();
    ReleaseStream(stream);
    return false;
  }

  View->ShowFileName(DisplayName(place.Name).c_str());
  View->ShowLength(u"(00:00:00)");
  ShowFormatFor(Settings->FormatId == 49);
  View->ShowStorage(Settings->Storage);
  View->ShowStatusIcon(kStatusRecording);
  View->SetButtonFace(view::kRecordButton, view::FaceActive);
  View->SetButtonFace(view::kPlayButton, view::FaceNormal);
  View->EnableButton(view::kForwardButton, false);
  View->EnableButton(view::kRewindButton, false);
  View->EnableButton(view::kPreviousButton, false);
  View->EnableButton(view::kNextButton, false);
  View->EnableButton(view::kStopButton, true);
  View->EnableButton(view::kVasButton, false);
  View->EnableButton(view::kPlayButton, true);
  if (Settings->LedBlink) view::SetRecordLed(true);
  if (DocList != nullptr) DocList->Refresh();
  if (RecordingStarted) RecordingStarted();
  return true;
}

}  // namespace app
