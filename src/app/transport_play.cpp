// Playback: opening and starting a file, pause and resume, the end of a file
// with the play modes, moving through the list, scanning and seeking.
#include <algorithm>
#include <mutex>

#include "app/document_list.h"
#include "app/transport.h"
#include "audio/app_flags.h"
#include "diag/show_error.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "view/main_view.h"
#include "view/time_text.h"

namespace app {

using audio::WaveDirection;

namespace {

constexpr int kPlayListOnce = 1;
constexpr int kPlayListRepeat = 2;
constexpr int kPlayOneFile = 3;
constexpr int kPlayOneRepeat = 4;

}  // namespace

void CTransport::Play(int act) {
  std::lock_guard guard(Lock);
  if (act == 0 || View == nullptr || Settings == nullptr) return;
  platform::Sleep(PlayDelayMs);
  View->EnableButton(view::kPlayButton, true);

  // The file playing now: Play pauses or resumes it, unless a track move
  // landed on it, which starts it again.
  auto* playing = static_cast<audio::WaveFileStream*>(AudioIO.Stream.load());
  if (playing != nullptr && AudioIO.Direction == WaveDirection::Output && playing->GetPath() == FilePath &&
      TrackJump == 0) {
    TogglePause(1);
    return;
  }

  View->ShowFileName(u"");
  View->ShowLength(u"");
  View->ShowStorage(Settings->Storage);
  View->ShowTime(u"00:00:00");
  View->SetButtonFace(view::kPlayButton, view::FaceNormal);
  if (FilePath[0] == u'\0' && !UnplayablePath.empty()) {
    // The list's selection could not become FilePath: say so, not nothing.
    ShowPathTooLong(UnplayablePath);
    return;
  }
  if (FilePath[0] == u'\0' || platform::GetFileAttributes(FilePath) == platform::kInvalidAttributes) return;

  CloseStreams();
  // From here on whatever ran has been closed: a failure leaves the view as
  // Stop would, not showing a playback that is not there, but still the
  // file that is chosen (its length once read), not a blank or a length of 0.
  auto stopShowingFile = [this](long lengthSeconds) {
    Stop(1);
    View->ShowFileName(DisplayName(FilePath).c_str());
    View->ShowLength(lengthSeconds >= 0 ? view::FormatTimeParen(static_cast<uint32_t>(lengthSeconds)).c_str() : u"");
  };
  audio::WaveFileStream* stream = NewStream();
  if (stream == nullptr) {
    stopShowingFile(-1);
    return;
  }
  platform::SetLastError(0);
  if (!stream->Open(FilePath, audio::kStreamRead)) {
    const int error = platform::GetLastError();
    delete stream;
    if (error != 0) {
      diag::ShowError(Owner, u"IAudioStream::Open(): failed.", error);
    } else {
      diag::ShowError(Owner, u"Wrong file format.", 0);
    }
    stopShowingFile(-1);
    return;
  }
  const long lengthSeconds = stream->GetLengthSeconds();
  View->ShowLength(u"(00:00:00)");
  if (!OpenDevice(stream, WaveDirection::Output)) {
    // A device that refuses the format when opened says so as the format
    // query would.
    ShowQueryFailure(u"Format not support.");
    AudioIO.Close();
    ReleaseStream(stream);
    stopShowingFile(lengthSeconds);
    return;
  }
  const audio::WaveFormatEx* format = stream->GetFormat();
  ShowFormatFor(format != nullptr && format->ExtraSize == 1);

  // Closing the device after a refusal. The device object is gone after a
  // close that failed as well, so the stream is released either way.
  auto closeAfterFailure = [&] {
    if (!AudioIO.Close()) ShowDeviceError();
    ReleaseStream(stream);
    stopShowingFile(lengthSeconds);
  };
  if (!AudioIO.QueryOutputFormat(&DeviceId, stream)) {
    ShowQueryFailure(u"Format not support.");
    closeAfterFailure();
    return;
  }
  platform::SetLastError(0);
  if (!AudioIO.StartPlayback()) {
    const int error = platform::GetLastError();
    if (error != 0) {
      diag::ShowError(Owner, u"AudioIO.Play(): failed.", error);
    } else {
      ShowDeviceError();
    }
    closeAfterFailure();
    return;
  }
  // A file without data ends at once; a play mode that keeps landing on
  // such files must not go round them for ever.
  EmptyPlays = AudioIO.IsPlaying() ? 0 : EmptyPlays + 1;

  ApplyVolume();
  ShowFileInfo(0);
  View->ShowLength(view::FormatTimeParen(stream->GetLengthSeconds()).c_str());
  View->ShowStatusIcon(kStatusPlaying);
  audio::RecordingActive = 0;
  TrackJump = 0;
  View->EnableButton(view::kForwardButton, true);
  View->EnableButton(view::kRewindButton, true);
  View->EnableButton(view::kStopButton, true);
  View->EnableButton(view::kVasButton, false);
  View->SetButtonFace(view::kPlayButton, view::FaceActive);
  View->SetButtonFace(view::kRecordButton, view::FaceNormal);
}

void CTransport::OnPlaybackEnd() {
  if (View == nullptr || Settings == nullptr) return;
  audio::IAudioStream* stream = AudioIO.Stream;
  // A scan held to the end of its file: the release that follows belongs
  // to that file, not to the one the play mode starts next.
  if (AudioIO.ScanMode != audio::ScanNone) ScanOutlivedFile = 1;
  if (!AudioIO.Close()) ShowDeviceError();
  View->SetSliderPercent(view::kPositionSlider, 0);
  View->Sliders[view::kPositionSlider - view::kFirstSlider].Enabled = 0;
  ReleaseStream(stream);
  audio::RecordingActive = 0;
  View->ShowStatusIcon(kStatusStopped);
  View->SetButtonFace(view::kPlayButton, view::FaceNormal);
  View->EnableButton(view::kRecordButton, true);
  EnableTrackButtons(ListHasItems());
  View->EnableButton(view::kRewindButton, false);
  View->EnableButton(view::kForwardButton, false);
  View->EnableButton(view::kStopButton, false);
  View->ShowTime(u"00:00:00");

  // Every file of the list (or the one repeated) held no data: nothing
  // would ever be heard, so the play mode ends here.
  const int listed = DocList != nullptr ? DocList->Count() : 0;
  const bool nothingToHear =
      EmptyPlays > 0 && (Settings->PlayMode == kPlayOneRepeat || EmptyPlays >= std::max(listed, 1));
  if (nothingToHear) {
    EmptyPlays = 0;
  } else {
    switch (Settings->PlayMode) {
      case kPlayListOnce:
        Settings->WrapAround = 0;
        NextTrack(1);
        break;
      case kPlayListRepeat:
        Settings->WrapAround = 1;
        NextTrack(1);
        break;
      case kPlayOneFile:
        Settings->WrapAround = 0;
        break;
      case kPlayOneRepeat:
        Play(1);
        break;
      default:
        break;
    }
  }

  View->EnableButton(view::kVasButton, true);
  View->SetButtonToggled(view::kVasButton, audio::VasEnabled != 0);
  if (audio::VasEnabled) UpdateVas(1);
}

void CTransport::NextTrack(int act) {
  if (act != 0) MoveTrack(true);
}

void CTransport::PrevTrack(int act) {
  if (act != 0) MoveTrack(false);
}

void CTransport::MoveTrack(bool forward) {
  if (View == nullptr || Settings == nullptr) return;
  TrackJump = 1;
  if (DocList == nullptr) return;
  int index = ListIndex;
  if (forward) {
    DocList->Next(&index);
  } else {
    DocList->Previous(&index);
  }
  // The end of the list is judged on the index before the move.
  const int count = DocList->Count();
  // The ends wrap in the mode the tool button shows (repeat the list), not
  // by what the last end of a playback left in WrapAround.
  if (forward ? ListIndex >= count - 1 : ListIndex == 0) {
    if (Settings->PlayMode != kPlayListRepeat) return;
    index = forward ? 0 : count - 1;
  }
  DocList->Select(index);
  ListIndex = index;
  const std::u16string path = DocList->SelectedPath();
  if (!SetFilePath(path)) {
    ShowPathTooLong(path);
    return;
  }
  if (FilePath[0] != u'\0') {
    Play(1);
  } else {
    View->ShowFileName(DisplayName(FilePath).c_str());
  }
}

void CTransport::Rewind(int act) {
  if (act == 0) {
    ScanOutlivedFile = 0;
    if (AudioIO.IsPlaying() && !AudioIO.Paused && !AudioIO.StartScan(audio::ScanBackward)) {
      ShowDeviceError();
      Stop(1);
    }
    return;
  }
  if (ScanOutlivedFile.exchange(0) != 0) return;
  // Released: a scan ends. No scan running also reports failure; Rewind
  // then shows only an error the device has.
  if (!AudioIO.StopScan()) ShowDeviceError();
}

void CTransport::Forward(int act) {
  if (act == 0) {
    ScanOutlivedFile = 0;
    if (AudioIO.IsPlaying() && !AudioIO.Paused && !AudioIO.StartScan(audio::ScanForward)) {
      ShowDeviceError();
      Stop(1);
    }
    return;
  }
  // The scan ran to the end of its file: the file playing now is another.
  if (ScanOutlivedFile.exchange(0) != 0) return;
  // Released with no scan running (paused, say): the playback stops.
  if (!AudioIO.StopScan()) {
    ShowDeviceError();
    Stop(1);
  }
}

void CTransport::ApplyPosition(int act) {
  if (View == nullptr) return;
  const int position = View->SliderPercent(view::kPositionSlider);
  if (act == 0 || AudioIO.Direction != WaveDirection::Output) return;
  if (!AudioIO.IsPlaying() && !AudioIO.Paused) return;
  View->SetSliderPercent(view::kPositionSlider, position);
  platform::SetLastError(0);
  if (!AudioIO.Seek(position)) {
    const int error = platform::GetLastError();
    if (error != 0) {
      diag::ShowError(Owner, u"Couldn't set a new position.", error);
    } else {
      ShowDeviceError();
    }
    return;
  }
  // Paused, no buffer passes to move the time along: it follows the seek here.
  if (AudioIO.Paused) View->ShowTime(view::FormatTime(AudioIO.GetPositionSeconds()).c_str());
}

void CTransport::ShowFileInfo(int keepName) {
  if (View == nullptr || Settings == nullptr) return;
  View->ShowTime(u"00:00:00");
  const std::u16string path(FilePath);
  if (path.empty()) {
    View->ShowStorage(Settings->Storage);
    return;
  }
  if (keepName == 0) View->ShowFileName(DisplayName(path).c_str());
  // The storage is the path's first component: "My Documents" is main memory,
  // anything else a storage card's folder.
  const size_t first = path.find(u'\\');
  const size_t second = first == std::u16string::npos ? first : path.find(u'\\', first + 1);
  if (second == std::u16string::npos) return;
  const std::u16string component = path.substr(first + 1, second - first - 1);
  if (component == u"My Documents") {
    View->ShowStorage(u"Main Memory");
  } else {
    View->ShowStorage(component.c_str());
  }
}

}  // namespace app
