// The monitor thread against WaveIO on the virtual device, its clock stepped
// by hand: what the view shows while audio runs and when it stops, and who
// learns that a playback ran out.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/app_flags.h"
#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "audio/wave_io.h"
#include "diag/show_error.h"
#include "platform/virtual_wave_device.h"
#include "settings/settings_record.h"
#include "view/main_view.h"
#include "view/monitor_thread.h"
#include "view/record_led.h"
#include "view/time_text.h"
#include "view/view_transport.h"

namespace {

using namespace std::chrono_literals;
using view::MainView;

// Where the view draws what the monitor changes.
const QRect kTimeArea(33, 33, 115 - 33 + 1, 52 - 33 + 1);
const QRect kLengthArea(148, 4, 210 - 148 + 1, 20 - 4 + 1);
const QRect kStatusIconArea(29, 7, 10, 10);
const QRect kMeterArea(4, 3, 11, 75);

constexpr int kSafetyMs = 10000;

// Polls cond, optionally running the UI thread's queued calls, until it
// holds or the safety time-out runs out.
bool WaitFor(const std::function<bool()>& cond, bool runUiCalls = true) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSafetyMs);
  for (;;) {
    if (runUiCalls) QCoreApplication::processEvents();
    if (cond()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

// The transport as the monitor sees it: the device object, and an end of
// playback that closes the device as the real one does.
class FakeTransport : public view::ViewTransport {
 public:
  void AttachView(MainView* v) override { view = v; }
  void AttachLevelMeter(audio::MeterState* meter) override { AudioIO.LevelMeter = meter; }
  audio::WaveIO* GetAudioIO() override { return &AudioIO; }
  void OnPlaybackEnd() override {
    ends.push_back(std::this_thread::get_id());
    AudioIO.Close();
    // The play mode: what starts next, if anything.
    if (auto next = std::exchange(PlayNext, nullptr)) next();
  }

  MainView* view = nullptr;
  audio::WaveIO AudioIO;
  std::vector<std::thread::id> ends;  // written on the UI thread only
  std::function<void()> PlayNext;
};

class FakeLed : public view::LedIndicator {
 public:
  void SetBlinking(bool blinking) override {
    std::lock_guard lock(mutex_);
    calls_.push_back(blinking);
  }
  std::vector<bool> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<bool> calls_;
};

// A monitor whose waits the test sees: each entry is counted, the first is
// held until the test opens the gate, and what each wait returned is kept.
struct CountedWaits {
  void Install(view::MonitorThread& monitor) {
    monitor.Wait = [this](platform::Event* const* events, int count) {
      {
        std::unique_lock lock(mutex);
        ++entries;
        changed.notify_all();
        changed.wait(lock, [this] { return open; });
      }
      const int result = platform::WaitAny(events, count);
      std::lock_guard lock(mutex);
      results.push_back(result);
      return result;
    };
  }
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  }
  bool WaitForEntries(int n) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(kSafetyMs), [&] { return entries >= n; });
  }
  std::vector<int> Results() {
    std::lock_guard lock(mutex);
    return results;
  }

  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int entries = 0;
  std::vector<int> results;
};

class MonitorThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
    transport_.AudioIO.TickSource = [device = device_.get()] {
      return static_cast<uint32_t>(device->Clock().NowMicros() / 1000);
    };
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      std::lock_guard lock(errorsMutex_);
      errors_.push_back(text);
      return diag::kResultOk;
    });
    ASSERT_TRUE(reference_.Init());
  }

  void TearDown() override {
    waits_.Open();  // a monitor held at its first wait must reach the quit
    view_.reset();
    ownMonitor_.reset();
    transport_.AudioIO.Close();
    view::InstallLed(nullptr);
    diag::SetErrorPresenter(nullptr);
    audio::VasEnabled = 0;
    audio::RecordingActive = 0;
    platform::InstallWaveBackend(nullptr);
  }

  // The view as the program makes it: Init starts the transport's monitor.
  void StartView() {
    view_ = std::make_unique<MainView>(nullptr, &transport_);
    view_->Meter.Settings = &settings_;
    ASSERT_TRUE(view_->Init());
    ASSERT_NE(view_->Monitor, nullptr);
  }

  // Hands a stream to the device as the transport does.
  void Attach(audio::IAudioStream* stream) {
    transport_.AudioIO.Stream = stream;
    transport_.AudioIO.DeviceId = &deviceId_;
    transport_.AudioIO.FormatSlot = &deviceFormat_;
    transport_.AudioIO.Settings = &settings_;
  }

  // A tone of `ms` milliseconds at 8000 Hz, 16 bits, written through our own stream.
  std::u16string ToneFile(const QString& name, int ms) {
    const std::u16string path = dir_.filePath(name).toStdU16String();
    audio::WaveFileStream out;
    out.SetFormat(audio::kFormatPcm8k16);
    EXPECT_TRUE(out.Open(path, audio::kStreamWrite));
    std::vector<int16_t> samples(8 * ms);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * static_cast<double>(i) / 8000));
    EXPECT_TRUE(out.Write(samples.data(), static_cast<uint32_t>(samples.size())));
    EXPECT_TRUE(out.Close());
    return path;
  }

  void StartPlaying(const std::u16string& path) {
    playStream_.Close();  // the previous playback's
    ASSERT_TRUE(playStream_.Open(path, audio::kStreamRead));
    Attach(&playStream_);
    ASSERT_TRUE(transport_.AudioIO.Open(audio::WaveDirection::Output));
    ASSERT_TRUE(transport_.AudioIO.StartPlayback());
  }

  void StepMs(double ms) { ASSERT_TRUE(device_->StepMs(ms)); }

  QImage Area(MainView& view, const QRect& rect) { return view.Snapshot().copy(rect); }
  // In the program all text is drawn under the one view's lock; the
  // reference view's drawing takes that lock as well.
  std::unique_lock<platform::CriticalSection> ViewLock() {
    return view_ ? std::unique_lock(view_->TextLock) : std::unique_lock<platform::CriticalSection>();
  }
  // What a text area looks like showing `text`, drawn by a view of our own.
  QImage TimeShowing(const std::u16string& text) {
    auto lock = ViewLock();
    reference_.ShowTime(text.c_str());
    return Area(reference_, kTimeArea);
  }
  QImage LengthShowing(const std::u16string& text) {
    auto lock = ViewLock();
    reference_.ShowLength(text.c_str());
    return Area(reference_, kLengthArea);
  }
  QImage StatusIcon(int index) {
    reference_.ShowStatusIcon(index);
    return Area(reference_, kStatusIconArea);
  }
  bool TimeIs(const std::u16string& text) { return Area(*view_, kTimeArea) == TimeShowing(text); }

  // What the position slider reads after being set to percent.
  int SliderReading(uint32_t percent) {
    reference_.SetSliderPercent(view::kPositionSlider, static_cast<int>(percent));
    return reference_.SliderPercent(view::kPositionSlider);
  }

  // A monitor of the test's own, run as the view's monitor body.
  view::MonitorThread& OwnMonitor() {
    view_ = std::make_unique<MainView>(nullptr, &transport_);
    ownMonitor_ = std::make_unique<view::MonitorThread>(*view_, transport_.AudioIO);
    view_->SetMonitorBody([monitor = ownMonitor_.get()](MainView&) { monitor->Run(); });
    return *ownMonitor_;
  }

  view::SkinSlider& Position() { return view_->Sliders[view::kPositionSlider - view::kFirstSlider]; }

  // Waits until the monitor has handled the stop now signalled and has run
  // any end of playback it handed over.
  bool StopHandled(bool runUiCalls = true) {
    return WaitFor([this] { return !transport_.AudioIO.StopEvent.IsSet(); }, runUiCalls);
  }

  QTemporaryDir dir_;
  std::shared_ptr<platform::VirtualWaveDevice> device_;
  settings::SettingsRecord settings_{};
  uint32_t deviceId_ = platform::kWaveMapper;
  const audio::WaveFormatEx* deviceFormat_ = nullptr;
  // Streams outlive the device that reads or writes them.
  audio::WaveFileStream playStream_;
  audio::WaveFileStream recordStream_;
  FakeTransport transport_;
  MainView reference_{nullptr, nullptr};
  CountedWaits waits_;
  std::unique_ptr<view::MonitorThread> ownMonitor_;
  std::unique_ptr<MainView> view_;
  std::mutex errorsMutex_;
  std::vector<std::u16string> errors_;
};

TEST_F(MonitorThreadTest, StartUpHandlesOneStopThenSleeps) {
  CountedWaits& waits = waits_;
  waits.Install(OwnMonitor());
  ASSERT_TRUE(view_->Init());
  EXPECT_EQ(view_->Monitor, nullptr);  // the body set takes its place

  // Something to undo: a slider away from 0 and both controls enabled.
  ASSERT_TRUE(waits.WaitForEntries(1));
  view_->SetSliderPercent(view::kPositionSlider, 50);
  Position().Enabled = 1;
  view_->Meter.Enabled = 1;
  ASSERT_TRUE(transport_.AudioIO.StopEvent.IsSet());  // created signalled
  waits.Open();

  ASSERT_TRUE(waits.WaitForEntries(2));  // back in the wait after one wake-up
  EXPECT_EQ(waits.Results(), std::vector<int>{view::MonitorThread::kStopIndex});
  EXPECT_FALSE(transport_.AudioIO.StopEvent.IsSet());
  EXPECT_EQ(view_->SliderPercent(view::kPositionSlider), 0);
  EXPECT_EQ(Position().Enabled.load(), 0);
  EXPECT_EQ(view_->Meter.Enabled.load(), 0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(transport_.ends.empty());

  view_->Shutdown();
  EXPECT_EQ(waits.Results().back(), view::MonitorThread::kQuitIndex);
}

TEST_F(MonitorThreadTest, ShutdownEndsTheWaitingMonitorPromptly) {
  StartView();
  ASSERT_TRUE(StopHandled());  // started, handled its first stop, now waiting
  const auto start = std::chrono::steady_clock::now();
  view_->Shutdown();
  EXPECT_FALSE(view_->MonitorThread.joinable());
  EXPECT_EQ(view_->Monitor, nullptr);
  // Well inside the 5 seconds Shutdown would give it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(MonitorThreadTest, MeterSliderAndTimeFollowAPlayback) {
  StartView();
  ASSERT_TRUE(StopHandled());
  const QImage restingMeter = Area(*view_, kMeterArea);
  StartPlaying(ToneFile("tone.wav", 3000));

  StepMs(1000);
  const uint32_t atOne = transport_.AudioIO.GetProgressPercent();
  ASSERT_GT(atOne, 0u);
  ASSERT_TRUE(WaitFor([&] {
    return TimeIs(u"00:00:01") && view_->SliderPercent(view::kPositionSlider) == SliderReading(atOne);
  }));
  EXPECT_EQ(Position().Enabled.load(), 1);
  EXPECT_EQ(view_->Meter.Enabled.load(), 1);
  EXPECT_NE(Area(*view_, kMeterArea), restingMeter);  // the tone's level is drawn

  StepMs(1000);
  const uint32_t atTwo = transport_.AudioIO.GetProgressPercent();
  ASSERT_GT(atTwo, atOne);
  EXPECT_TRUE(WaitFor([&] {
    return TimeIs(u"00:00:02") && view_->SliderPercent(view::kPositionSlider) == SliderReading(atTwo);
  }));

  // The end: the transport hears of it once, and the view comes to rest.
  StepMs(1500);
  ASSERT_TRUE(WaitFor([&] { return !transport_.ends.empty(); }));
  ASSERT_TRUE(StopHandled());  // the stop of the transport's close
  QCoreApplication::processEvents();
  EXPECT_EQ(transport_.ends.size(), 1u);
  EXPECT_EQ(transport_.ends[0], std::this_thread::get_id());  // on the UI thread
  EXPECT_EQ(view_->SliderPercent(view::kPositionSlider), 0);
  EXPECT_EQ(Position().Enabled.load(), 0);
  EXPECT_EQ(view_->Meter.Enabled.load(), 0);
  EXPECT_EQ(Area(*view_, kMeterArea), restingMeter);
}

TEST_F(MonitorThreadTest, PressedPositionSliderStaysWhileTheTimeFollows) {
  StartView();
  ASSERT_TRUE(StopHandled());
  StartPlaying(ToneFile("tone.wav", 4000));
  StepMs(500);
  ASSERT_TRUE(WaitFor([&] { return Position().Enabled.load() == 1; }));

  // The pen holds the thumb near the far end.
  int id = 0;
  ASSERT_TRUE(view_->PointerDown(190, 65, &id));
  ASSERT_EQ(id, view::kPositionSlider);
  const int held = view_->SliderPercent(view::kPositionSlider);
  ASSERT_GT(held, 80);

  for (int second = 0; second < 2; ++second) {
    StepMs(1000);
    const std::u16string position = view::FormatTime(transport_.AudioIO.GetPositionSeconds());
    ASSERT_TRUE(WaitFor([&] { return TimeIs(position); })) << second;
  }
  EXPECT_EQ(view_->SliderPercent(view::kPositionSlider), held);

  // Let go (outside, so the thumb stays put): the next buffer moves it again.
  ASSERT_TRUE(view_->PointerUp(190, 200, &id));
  StepMs(200);
  const int progress = SliderReading(transport_.AudioIO.GetProgressPercent());
  ASSERT_LT(progress, held);
  EXPECT_TRUE(WaitFor([&] { return view_->SliderPercent(view::kPositionSlider) == progress; }));
}

TEST_F(MonitorThreadTest, ListeningForVoiceShowsZeroTimes) {
  StartView();
  ASSERT_TRUE(StopHandled());
  view_->ShowTime(u"12:34:56");
  view_->ShowLength(u"(01:02:03)");
  audio::VasEnabled = 1;
  recordStream_.SetFormat(audio::kFormatPcm8k16);  // a format only, as while listening
  Attach(&recordStream_);
  ASSERT_TRUE(transport_.AudioIO.Open(audio::WaveDirection::Input));
  ASSERT_TRUE(transport_.AudioIO.StartRecording(nullptr));

  StepMs(100);
  EXPECT_TRUE(WaitFor([&] {
    return TimeIs(u"00:00:00") && Area(*view_, kLengthArea) == LengthShowing(u"(00:00:00)");
  }));
  EXPECT_EQ(view_->Meter.Enabled.load(), 1);
  EXPECT_EQ(Position().Enabled.load(), 0);  // only playback enables the slider
  ASSERT_TRUE(transport_.AudioIO.Close());
}

class VoiceActivatedRecording : public MonitorThreadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VoiceActivatedRecording, StatusIconFollowsTheVoiceAndTheLedOnlyWhenAskedTo) {
  const bool ledBlink = GetParam();
  settings_.LedBlink = ledBlink ? 1 : 0;
  FakeLed led;
  view::InstallLed(&led);
  StartView();
  ASSERT_TRUE(StopHandled());
  view_->SetVasThreshold(20);

  // Speech for 300 ms, silence for 700 ms, from the first input frame.
  platform::VirtualWaveSignal speech;
  speech.kind = platform::VirtualWaveSignal::Kind::Speech;
  speech.level = 0.5;
  device_->SetInputSignal(speech);
  audio::VasEnabled = 1;
  audio::RecordingActive = 1;
  recordStream_.SetFormat(audio::kFormatPcm8k16);
  ASSERT_TRUE(recordStream_.Open(dir_.filePath("vas.wav").toStdU16String(), audio::kStreamWrite));
  Attach(&recordStream_);
  ASSERT_TRUE(transport_.AudioIO.Open(audio::WaveDirection::Input));
  ASSERT_TRUE(transport_.AudioIO.StartRecording(nullptr));

  const QImage voice = StatusIcon(0);
  const QImage silence = StatusIcon(3);
  ASSERT_NE(voice, silence);
  // Each moment lies well inside a burst or a pause.
  const struct {
    int atMs;
    bool voice;
  } moments[] = {{200, true}, {600, false}, {1200, true}, {1700, false}};
  int now = 0;
  for (const auto& m : moments) {
    // Buffer by buffer, as at real time: a buffer measured while the meter
    // still holds an undrawn level is skipped.
    for (; now < m.atMs; now += 40) {
      StepMs(40);
      ASSERT_TRUE(WaitFor([&] { return !view_->Meter.Dirty.load(); })) << now;
    }
    ASSERT_TRUE(WaitFor([&] { return Area(*view_, kStatusIconArea) == (m.voice ? voice : silence); }))
        << m.atMs;
    if (ledBlink) {
      const std::vector<bool> calls = led.Calls();
      ASSERT_FALSE(calls.empty()) << m.atMs;
      EXPECT_EQ(calls.back(), m.voice) << m.atMs;
    }
  }
  if (!ledBlink) {
    EXPECT_TRUE(led.Calls().empty());
  }
  // Both texts show the length written so far (only the voice is kept).
  const std::u16string length = view::FormatTime(transport_.AudioIO.GetLengthSeconds());
  EXPECT_TRUE(WaitFor([&] { return TimeIs(length); }));

  audio::RecordingActive = 0;
  ASSERT_TRUE(transport_.AudioIO.Close());
  EXPECT_TRUE(recordStream_.Close());
}

INSTANTIATE_TEST_SUITE_P(LedBlink, VoiceActivatedRecording, ::testing::Bool());

TEST_F(MonitorThreadTest, EachPlaybackThatRunsOutEndsOnceAndAUserStopNever) {
  StartView();
  ASSERT_TRUE(StopHandled());
  const std::u16string path = ToneFile("short.wav", 500);

  // Two playbacks running out in turn: one end each, also when the device
  // signals the stop again before the end has reached the UI thread.
  for (size_t round = 1; round <= 2; ++round) {
    StartPlaying(path);
    StepMs(1000);
    if (round == 2) {
      ASSERT_TRUE(StopHandled(false));
      transport_.AudioIO.StopEvent.Set();
      ASSERT_TRUE(StopHandled(false));
    }
    ASSERT_TRUE(WaitFor([&] { return transport_.ends.size() == round; })) << round;
    ASSERT_TRUE(StopHandled());
    QCoreApplication::processEvents();
    EXPECT_EQ(transport_.ends.size(), round);
  }
  transport_.ends.clear();

  // Stopped by the user while data remains: a close, or a reset then a close.
  StartPlaying(ToneFile("long.wav", 2000));
  StepMs(300);
  ASSERT_TRUE(transport_.AudioIO.Close());
  ASSERT_TRUE(StopHandled());
  StartPlaying(ToneFile("long.wav", 2000));
  StepMs(300);
  ASSERT_TRUE(transport_.AudioIO.Reset());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  ASSERT_TRUE(transport_.AudioIO.Close());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  EXPECT_TRUE(transport_.ends.empty());
  EXPECT_EQ(Position().Enabled.load(), 0);
}

TEST_F(MonitorThreadTest, AStopSignalledTwiceDoesNotEndTheNextPlayback) {
  StartView();
  ASSERT_TRUE(StopHandled());
  // The next file is shorter than the three buffers, so its data has run
  // out (Finished) as soon as it starts, while it still sounds.
  const std::u16string tiny = ToneFile("tiny.wav", 50);
  StartPlaying(ToneFile("short.wav", 500));
  transport_.PlayNext = [&] { StartPlaying(tiny); };
  StepMs(1000);
  ASSERT_TRUE(StopHandled(false));
  transport_.AudioIO.StopEvent.Set();  // the device says it again
  ASSERT_TRUE(StopHandled(false));

  ASSERT_TRUE(WaitFor([&] { return !transport_.ends.empty(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(transport_.ends.size(), 1u);
  EXPECT_TRUE(transport_.AudioIO.IsPlaying());  // the tiny file goes on
  ASSERT_EQ(transport_.AudioIO.Finished.load(), 1);

  StepMs(200);
  EXPECT_TRUE(WaitFor([&] { return transport_.ends.size() == 2; }));
}

TEST_F(MonitorThreadTest, UserStopAfterTheEndWasSeenCancelsTheHandOver) {
  StartView();
  ASSERT_TRUE(StopHandled());
  StartPlaying(ToneFile("short.wav", 500));
  StepMs(1000);
  // The monitor has seen the end and handed it over, but the UI thread
  // closes the device before it gets there.
  ASSERT_TRUE(StopHandled(false));
  ASSERT_EQ(transport_.AudioIO.Finished.load(), 1);
  ASSERT_TRUE(transport_.AudioIO.Close());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  EXPECT_TRUE(transport_.ends.empty());

  // The hand-over is free again for the next playback.
  StartPlaying(ToneFile("short.wav", 500));
  StepMs(1000);
  EXPECT_TRUE(WaitFor([&] { return transport_.ends.size() == 1; }));
}

TEST_F(MonitorThreadTest, FailedWaitShowsItsErrorAndEndsTheProcess) {
  view::MonitorThread& monitor = OwnMonitor();
  monitor.Wait = [](platform::Event* const*, int) { return platform::kWaitFailed; };
  // Static: the thread may outlive a test body that failed early.
  static std::atomic<int> exitCode;
  static std::atomic<bool> exited;
  exitCode = 0;
  exited = false;
  monitor.ExitProcess = [](int code) {
    exitCode = code;
    exited = true;
  };
  ASSERT_TRUE(view_->Init());

  ASSERT_TRUE(WaitFor([&] { return exited.load(); }));
  EXPECT_EQ(exitCode.load(), -1);
  std::lock_guard lock(errorsMutex_);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].rfind(u"WaitForMultipleObjects(): failed.", 0), 0u);
  // The thread has returned: the view shuts down without waiting.
  view_->Shutdown();
}

}  // namespace
