#include "view/monitor_thread.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "audio/app_flags.h"
#include "audio/wave_io.h"
#include "diag/show_error.h"
#include "platform/last_error.h"
#include "platform/wave_route.h"
#include "settings/settings_record.h"
#include "view/main_view.h"
#include "view/record_led.h"
#include "view/time_text.h"
#include "view/view_transport.h"

namespace view {
namespace {

constexpr int kWaitFailedExitCode = -1;

}  // namespace

MonitorThread::MonitorThread(MainView& view, audio::WaveIO& audio)
    : Wait([](platform::Event* const* events, int count) { return platform::WaitAny(events, count); }),
      ExitProcess([](int code) { std::exit(code); }),
      PostToUiThread([this](std::function<void()> call) {
        if (QObject* context = uiContext_.get()) {
          QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
        } else {
          call();
        }
      }),
      view_(view),
      audio_(audio) {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    uiContext_.reset(new QObject);
    if (uiContext_->thread() != app->thread()) uiContext_->moveToThread(app->thread());
  }
}

MonitorThread::~MonitorThread() = default;

int MonitorThread::Run() {
  platform::Event* const events[] = {&audio_.DataEvent, &audio_.StopEvent, view_.QuitEvent.get()};
  while (!view_.QuitEvent->IsSet()) {
    switch (Wait(events, 3)) {
      case kDataIndex:
        HandleData();
        break;
      case kStopIndex:
        HandleStop();
        break;
      case kQuitIndex:
        break;
      default:
        HandleWaitFailure(platform::GetLastError());
        return 0;
    }
  }
  return 0;
}

void MonitorThread::HandleData() {
  SkinSlider& position = view_.Sliders[kPositionSlider - kFirstSlider];
  LevelMeter& meter = view_.Meter;
  // What runs (the direction, a recording, a pause) is read, and shown, under
  // the view's lock. The transport changes it before it shows what follows
  // (a stop, a pause), so a buffer handed back by that change cannot show
  // what ran before over it; and a pen landing on the position slider does
  // not see its thumb jump away.
  std::lock_guard lock(view_.TextLock);
  switch (audio_.Direction.load()) {
    case audio::WaveDirection::Output: {
      position.Enabled = 1;
      meter.Enabled = 1;
      view_.RedrawControl(meter);
      if (!position.Pressed) view_.SetSliderPercent(kPositionSlider, static_cast<int>(audio_.GetProgressPercent()));
      view_.ShowTime(FormatTime(audio_.GetPositionSeconds()).c_str());
      break;
    }
    case audio::WaveDirection::Input: {
      meter.Enabled = 1;
      view_.RedrawControl(meter);
      const bool recording = audio::RecordingActive.load() != 0;
      const bool vas = audio::VasEnabled.load() != 0;
      if (recording) {
        const uint32_t length = audio_.GetLengthSeconds();
        view_.ShowLength(FormatTimeParen(length).c_str());
        view_.ShowTime(FormatTime(length).c_str());
        if (vas && audio_.Paused.load() == 0) {
          const bool voice = meter.AboveThreshold.load();
          if (LedBlinkSet()) SetRecordLed(voice);
          view_.ShowStatusIcon(voice ? kStatusRecording : kStatusPaused);
        }
      } else if (vas) {
        // Listening for voice: nothing is being written. The length stays
        // what it shows (the recording just stopped, say).
        view_.ShowTime(u"00:00:00");
      }
      break;
    }
    default:
      break;
  }
}

void MonitorThread::HandleStop() {
  SkinSlider& position = view_.Sliders[kPositionSlider - kFirstSlider];
  view_.SetSliderPercent(kPositionSlider, 0);
  position.Enabled = 0;
  view_.Meter.Enabled = 0;
  view_.RedrawControl(view_.Meter);
  // Reset before anything is handed on: the end handed on may start a file
  // that stops at once, and that stop must stay signalled for the next pass.
  audio_.StopEvent.Reset();
  // The transport closes the device on the UI thread, which clears Finished
  // and may start the next file, so the decision is taken here and checked
  // again there. One end is queued at a time: a stop seen again before the
  // queued call has run belongs to the same playback.
  if (audio_.Finished.load()) {
    bool expected = false;
    if (endPending_.compare_exchange_strong(expected, true)) {
      PostEnd();
    } else {
      stopDeferred_ = true;
      TakeDeferredStop();  // the pending end may have finished meanwhile
    }
  } else if (DeviceFailed()) {
    HandOnFailure();
  }
}

bool MonitorThread::DeviceFailed() const {
  const audio::WaveDirection direction = audio_.Direction.load();
  if (direction != audio::WaveDirection::None && audio_.DeviceGone()) return true;
  return (direction == audio::WaveDirection::Output && audio_.ReadFailed.load()) ||
         (direction == audio::WaveDirection::Input && audio_.WriteFailed.load());
}

void MonitorThread::HandOnFailure() {
  // The file could not be read on, or the recording written on: no end of
  // playback, but not the user's stop either. The transport ends what ran
  // and says why; without one the failure is only shown. One hand-over at a
  // time: later stops of the same failure find it handled.
  if (failurePending_.exchange(true)) return;
  MainView& view = view_;
  audio::WaveIO& audio = audio_;
  std::atomic<bool>& pending = failurePending_;
  const bool reading = audio.Direction.load() == audio::WaveDirection::Output;
  const int code = reading ? audio.ReadError.load() : audio.WriteError.load();
  // A device that went away is named instead.
  const std::u16string gone =
      audio.DeviceGone() ? platform::WaveDeviceProblemText(platform::kWaveDeviceGone, !reading) : std::u16string();
  RunOnUiThread([&view, &pending, reading, code, gone] {
    pending = false;
    ViewTransport* transport = view.Transport;
    if (transport != nullptr && transport->OnDeviceFailed()) return;
    if (!gone.empty()) {
      diag::ShowError(view.MainWindow, gone.c_str(), 0);
      return;
    }
    diag::ShowError(view.MainWindow, reading ? u"IAudioStream::Read(): failed." : u"IAudioStream::Write(): failed",
                    code);
  });
}

void MonitorThread::EndPlayback() {
  // A user's stop closed the device after the stop was seen: Finished and
  // the direction are cleared, and that playback must not end a second time.
  if (audio_.Finished.load() && audio_.Direction.load() == audio::WaveDirection::Output) {
    if (ViewTransport* transport = view_.Transport) transport->OnPlaybackEnd();
  }
  endPending_ = false;
  TakeDeferredStop();
}

void MonitorThread::TakeDeferredStop() {
  // The end may have started a file that ran out (an empty one) while it was
  // pending; that file's stop was set aside. It is taken once no end is
  // pending and nothing of the file still sounds; a stop that belonged to the
  // playback already ended finds the next file playing and lapses.
  if (endPending_.load() || !stopDeferred_.exchange(false)) return;
  if (!audio_.Finished.load() || audio_.Direction.load() != audio::WaveDirection::Output || audio_.IsPlaying()) return;
  bool expected = false;
  if (endPending_.compare_exchange_strong(expected, true)) PostEnd();
}

void MonitorThread::PostEnd() {
  // Queued even from the UI thread, so that a file that keeps ending at once
  // (an empty one repeated) cannot recurse.
  PostToUiThread([this] { EndPlayback(); });
}

void MonitorThread::HandleWaitFailure(int code) {
  MainView& view = view_;
  ExitFunction exit = ExitProcess;
  RunOnUiThread([&view, exit, code] {
    diag::ShowError(view.MainWindow, u"WaitForMultipleObjects(): failed.", code);
    exit(kWaitFailedExitCode);
  });
}

void MonitorThread::RunOnUiThread(std::function<void()> fn) {
  QObject* context = uiContext_.get();
  if (!context || QThread::currentThread() == context->thread()) {
    fn();
    return;
  }
  PostToUiThread(std::move(fn));
}

bool MonitorThread::LedBlinkSet() const {
  const settings::SettingsRecord* record = view_.Meter.Settings;
  if (!record) return false;
  // The settings sheet may change it on the UI thread meanwhile.
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(record->LedBlink)).load(std::memory_order_relaxed) != 0;
}

}  // namespace view
