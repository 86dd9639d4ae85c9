#pragma once
// The monitor thread keeps the main view in step with the audio device. It
// has no timer: it sleeps until the device says a buffer has passed (meter,
// position slider, time texts, voice-activation icon and LED) or that it has
// stopped (slider and meter back to rest, and a playback that ran out of data
// handed to the transport's end-of-playback handling), or until the view
// shuts down.
//
// It draws into the view's back buffer through the view's own (locked)
// operations, but never touches a widget: the end of a playback and the error
// boxes of a failed wait or a failed read go to the UI thread as queued calls.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "diag/tracker.h"
#include "platform/sync.h"

class QObject;

namespace audio {
class WaveIO;
}

namespace view {

class MainView;

class MonitorThread : public diag::Tracked {
 public:
  // Waits on the three events, lowest signalled index first (WaitAny's contract).
  using WaitFunction = std::function<int(platform::Event* const* events, int count)>;
  using ExitFunction = std::function<void(int code)>;
  using PostFunction = std::function<void(std::function<void()> call)>;

  // Wait-array indices.
  static constexpr int kDataIndex = 0;
  static constexpr int kStopIndex = 1;
  static constexpr int kQuitIndex = 2;

  // Create on the UI thread (the view's Init does): the queued calls are
  // delivered to the thread of the application object.
  MonitorThread(MainView& view, audio::WaveIO& audio);
  // Drops queued calls that have not run yet. Destroy on the UI thread,
  // after the thread body has returned.
  ~MonitorThread();
  MonitorThread(const MonitorThread&) = delete;
  MonitorThread& operator=(const MonitorThread&) = delete;

  // The thread body: runs until the view's QuitEvent is signalled, or
  // returns at once after a failed wait (the process is being ended). 0.
  int Run();

  // Replaceable for tests: the wait (WaitAny without time-out), how the
  // process ends after a failed wait (std::exit), and how a call is handed to
  // the UI thread (queued to the application's thread; run at once without an
  // application object). The UI thread may run a call before the hand-over
  // returns.
  WaitFunction Wait;
  ExitFunction ExitProcess;
  PostFunction PostToUiThread;

 private:
  void HandleData();
  void HandleStop();
  void HandleWaitFailure(int code);
  // The device stopped on a failed read (playback) or write (recording).
  bool DeviceFailed() const;
  void HandOnFailure();
  // Runs on the UI thread: ends the playback unless the user closed it since.
  void EndPlayback();
  void TakeDeferredStop();
  void PostEnd();
  // Queues fn to the UI thread; without an application object (no UI
  // thread at all) runs it here.
  void RunOnUiThread(std::function<void()> fn);
  bool LedBlinkSet() const;

  MainView& view_;
  audio::WaveIO& audio_;
  // Lives on the UI thread; destroying it discards the calls queued to it.
  std::unique_ptr<QObject> uiContext_;
  // An end of playback is queued and has not run yet. Set only here, cleared
  // only by the UI thread after the transport's handling has returned.
  std::atomic<bool> endPending_{false};
  // A stop of a finished playback seen while an end was pending: it may be
  // the end of the file that end started.
  std::atomic<bool> stopDeferred_{false};
  // A failed read or write is queued to the UI thread and has not run yet.
  std::atomic<bool> failurePending_{false};
};

}  // namespace view
