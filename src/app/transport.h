#pragma once
// The recording and playback engine behind the main window. Each operation
// is one user command (Record, Play, Stop, ...): it does the audio work
// through the device object AudioIO, updates the view's buttons, icons and
// texts, and reports its own failures in an error box.
//
// Operations taking `act` do nothing for 0 (the press of a view control)
// except Rewind, Forward and ApplyVolume, and act for anything else (a
// release, a key going up, a menu command, an internal call).
//
// Threads: everything runs on the UI thread; the monitor thread hands the
// end of a playback over to it. Play is the one operation that takes Lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/wave_file_stream.h"
#include "audio/wave_format_ex.h"
#include "audio/wave_io.h"
#include "diag/tracker.h"
#include "platform/sync.h"
#include "platform/wave_types.h"
#include "settings/settings_record.h"
#include "settings/settings_store.h"
#include "view/control_ids.h"
#include "view/view_transport.h"

class QWidget;

namespace view {
class MainView;
}

namespace app {

class DocumentList;

using settings::kPathChars;
using view::kStatusPaused;
using view::kStatusPlaying;
using view::kStatusRecording;
using view::kStatusStopped;

class CTransport : public view::ViewTransport {
 public:
  explicit CTransport(QWidget* owner);
  ~CTransport() override;
  CTransport(const CTransport&) = delete;
  CTransport& operator=(const CTransport&) = delete;

  // view::ViewTransport
  void AttachView(view::MainView* view) override { View = view; }
  void AttachLevelMeter(audio::MeterState* meter) override { AudioIO.LevelMeter = meter; }
  audio::WaveIO* GetAudioIO() override { return &AudioIO; }
  void OnPlaybackEnd() override;
  bool OnDeviceFailed() override;

  bool RestoreState();
  void SaveState();

  void OnLButtonDown(int x, int y);
  void OnMouseMove(int x, int y);
  void OnLButtonUp(int x, int y);
  void OnKeyDown(uint32_t key);
  void OnKeyUp(uint32_t key);
  void OnButton(int id, int act);
  void OnSlider(int id, int act);

  void Record(int act);
  void Play(int act);
  void Stop(int act);
  void TogglePause(int act);
  void Rewind(int act);
  void Forward(int act);
  void PrevTrack(int act);
  void NextTrack(int act);
  void CloseStreams();
  void UpdateVas(int act);
  void ApplyVolume();
  void ApplyPosition(int act);
  void ApplyVasThreshold();
  void ShowFileInfo(int keepName);
  void EnableTrackButtons(bool on);
  // Whether the track buttons have something to act on: the list shows items.
  bool ListHasItems() const;

  // Closes the device and releases the stream whatever runs, without
  // touching the view: the last step before the view goes away.
  void CloseDevice();
  // Saves the settings store: the one save of settings.dat, at exit. What
  // could not be saved is said on standard error and in a box (not in a
  // box when ExitBySignal is set).
  void SaveSettings();
  // FilePath = path; false, FilePath unchanged, for a path too long for the
  // buffer (a cut path would name another file, or none): that path is kept
  // in UnplayablePath, so that Play can say why it plays nothing.
  bool SetFilePath(const std::u16string& path);
  std::u16string UnplayablePath;
  // Says that the recording at path cannot be played: its path is too long.
  void ShowPathTooLong(const std::u16string& path);
  // "GSM (WAV)" or "PCM (WAV)" in the format area.
  void ShowFormatFor(bool gsm);

  // The file name shown for a path: the text after its last "\", cut at its
  // last "." ("\My Documents\Quillon\Recording03.wav" -> "Recording03").
  static std::u16string DisplayName(const std::u16string& path);

  QWidget* Owner;
  uint32_t DeviceId = platform::kWaveMapper;
  const audio::WaveFormatEx* DeviceFormat = nullptr;
  audio::WaveIO AudioIO;
  view::MainView* View = nullptr;
  settings::SettingsRecord* Settings = nullptr;
  void* StartArgument = nullptr;  // handed to StartRecording, always null
  char16_t FilePath[kPathChars]{};
  char16_t FolderPath[kPathChars]{};
  DocumentList* DocList = nullptr;
  int32_t ListIndex = 0;
  int32_t TrackJump = 0;
  platform::CriticalSection Lock;

  // The store that holds *Settings, saved once at exit (set by the controller).
  settings::SettingsStore* Store = nullptr;
  // Set when a signal ends the program: nobody may be there to answer a box.
  bool ExitBySignal = false;
  // Play's pause before it acts, letting a device just closed settle.
  uint32_t PlayDelayMs = 100;
  // Playbacks in a row that had no data to play (their file was empty).
  int32_t EmptyPlays = 0;
  // A Rewind or Forward scan lasted to the end of its file: the release of
  // that hold does nothing to the file that plays next. Set on the monitor's
  // hand-over, read by the key and pen releases.
  std::atomic<int32_t> ScanOutlivedFile{0};
  // Called once a new recording runs (set by the controller, which watches
  // it only then).
  std::function<void()> RecordingStarted;

 private:
  // A new WaveFileStream, or null after telling the user.
  audio::WaveFileStream* NewStream();
  // Closes and deletes the stream the device held and forgets it.
  void ReleaseStream(audio::IAudioStream* stream);
  // Hands the stream to the device and opens it in `direction`.
  bool OpenDevice(audio::IAudioStream* stream, audio::WaveDirection direction);
  bool StartNewRecording();
  // Moves to the following or preceding item of the list and plays it.
  void MoveTrack(bool forward);
  void ShowDeviceError();
  // A refused format query: the format text, or the device's own text when
  // there is no device to ask at all.
  void ShowQueryFailure(const char16_t* formatText);
  void SetVolumeLevel(int volume);
  void ShowVolumeIconFor(int volume);
  bool ButtonEnabled(int id) const;
  bool StopEnabled() const;
};

}  // namespace app
