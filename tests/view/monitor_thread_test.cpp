// The monitor thread against WaveIO on the virtual device, its clock stepped
// by hand: what the view shows while audio runs and when it stops, and who
// learns that a playback ran out.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
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

const QRect kTimeArea(33, 33, 83, 20);
const QRect kLengthArea(148, 4, 63, 17);
const QRect kStatusIconArea(29, 7, 10, 10);
const QRect kMeterArea(4, 3, 11, 75);
constexpr auto kSafety = 10s;

// Polls cond, optionally running the UI thread's queued calls, until it
// holds or the safety time-out runs out.
bool WaitFor(const std::function<bool()>& cond, bool runUiCalls = true) {
  const auto deadline = std::chrono::steady_clock::now() + kSafety;
  for (;;) {
    if (runUiCalls) QCoreApplication::processEvents();
    if (cond()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

// The transport as the monitor sees it; its end of playback closes the
// device as the real one does, then starts whatever comes next.
class FakeTransport : public view::ViewTransport {
 public:
  void AttachView(MainView*) override {}
  void AttachLevelMeter(audio::MeterState* meter) override { AudioIO.LevelMeter = meter; }
  audio::WaveIO* GetAudioIO() override { return &AudioIO; }
  void OnPlaybackEnd() override {
    ends.push_back(std::this_thread::get_id());
    AudioIO.Close();
    if (auto next = std::exchange(PlayNext, nullptr)) next();
  }
  audio::WaveIO AudioIO;
  std::vector<std::thread::id> ends;  // written on the UI thread only
  std::function<void()> PlayNext;
};

// The last blink state asked for: -1 before any.
struct FakeLed : view::LedIndicator {
  void SetBlinking(bool blinking) override { last = blinking; }
  std::atomic<int> last{-1};
};

class MonitorThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
    io().TickSource = [device = device_.get()] { return static_cast<uint32_t>(device->Clock().NowMicros() / 1000); };
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      std::lock_guard lock(errorsMutex_);
      errors_.push_back(text);
      return diag::kResultOk;
    });
    ASSERT_TRUE(reference_.Init());
  }

  void TearDown() override {
    // The view goes first, as in the program: it must take its meter back
    // from the device layer, whose Close writes into it (ASan checks).
    view_.reset();
    EXPECT_EQ(io().LevelMeter, nullptr);
    ownMonitor_.reset();
    io().Close();
    view::InstallLed(nullptr);
    diag::SetErrorPresenter(nullptr);
    audio::VasEnabled = 0;
    audio::RecordingActive = 0;
    platform::InstallWaveBackend(nullptr);
  }

  audio::WaveIO& io() { return transport_.AudioIO; }

  // The view as the program makes it (Init starts the transport's monitor),
  // once it has handled its first stop.
  void StartView() {
    view_ = std::make_unique<MainView>(nullptr, &transport_);
    view_->Meter.Settings = &settings_;
    ASSERT_TRUE(view_->Init());
    ASSERT_NE(view_->Monitor, nullptr);
    ASSERT_TRUE(StopHandled());
  }

  // A monitor of the test's own, run as the view's monitor body.
  view::MonitorThread& OwnMonitor() {
    view_ = std::make_unique<MainView>(nullptr, &transport_);
    ownMonitor_ = std::make_unique<view::MonitorThread>(*view_, io());
    view_->SetMonitorBody([monitor = ownMonitor_.get()](MainView&) { monitor->Run(); });
    return *ownMonitor_;
  }

  void Open(audio::IAudioStream* stream, audio::WaveDirection direction) {
    io().Stream = stream;
    io().DeviceId = &deviceId_;
    io().FormatSlot = &deviceFormat_;
    io().Settings = &settings_;
    ASSERT_TRUE(io().Open(direction));
  }

  // A 440 Hz tone of `ms` milliseconds at 8000 Hz, 16 bits.
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
    Open(&playStream_, audio::WaveDirection::Output);
    ASSERT_TRUE(io().StartPlayback());
  }

  void StartRecording() {
    Open(&recordStream_, audio::WaveDirection::Input);
    ASSERT_TRUE(io().StartRecording(nullptr));
  }

  void StepMs(double ms) { ASSERT_TRUE(device_->StepMs(ms)); }

  QImage Area(MainView& view, const QRect& rect) { return view.Snapshot().copy(rect); }
  // What an area looks like after `show` on a view of our own. In the
  // program all text is drawn under the one view's lock, so this is too.
  QImage Showing(const QRect& rect, const std::function<void(MainView&)>& show) {
    std::unique_lock<platform::CriticalSection> lock;
    if (view_) lock = std::unique_lock(view_->TextLock);
    show(reference_);
    return Area(reference_, rect);
  }
  bool Shows(const QRect& rect, const std::function<void(MainView&)>& show) {
    return Area(*view_, rect) == Showing(rect, show);
  }
  bool TimeIs(const std::u16string& text) {
    return Shows(kTimeArea, [&](MainView& v) { v.ShowTime(text.c_str()); });
  }
  // What the position slider reads after being set to percent.
  int SliderReading(uint32_t percent) {
    reference_.SetSliderPercent(view::kPositionSlider, static_cast<int>(percent));
    return reference_.SliderPercent(view::kPositionSlider);
  }
  int PositionShown() { return view_->SliderPercent(view::kPositionSlider); }
  view::SkinSlider& Position() { return view_->Sliders[view::kPositionSlider - view::kFirstSlider]; }

  // Waits until the monitor has handled the stop now signalled (and, when
  // running UI calls, any end of playback it handed over).
  bool StopHandled(bool runUiCalls = true) {
    return WaitFor([this] { return !io().StopEvent.IsSet(); }, runUiCalls);
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
  std::atomic<int> waitEntries_{0};
  std::vector<int> waitResults_;  // under errorsMutex_
  std::unique_ptr<view::MonitorThread> ownMonitor_;
  std::unique_ptr<MainView> view_;
  std::mutex errorsMutex_;
  std::vector<std::u16string> errors_;
};

TEST_F(MonitorThreadTest, StartUpHandlesOneStopThenSleepsUntilAPromptQuit) {
  OwnMonitor().Wait = [this](platform::Event* const* events, int count) {
    ++waitEntries_;
    const int result = platform::WaitAny(events, count);
    std::lock_guard lock(errorsMutex_);
    waitResults_.push_back(result);
    return result;
  };
  ASSERT_TRUE(view_->Init());
  EXPECT_EQ(view_->Monitor, nullptr);  // the body set takes its place
  ASSERT_TRUE(WaitFor([&] { return waitEntries_ >= 2; }));  // back in the wait after one wake-up
  {
    std::lock_guard lock(errorsMutex_);
    EXPECT_EQ(waitResults_, std::vector<int>{view::MonitorThread::kStopIndex});
  }
  EXPECT_FALSE(io().StopEvent.IsSet());
  EXPECT_TRUE(transport_.ends.empty());

  const auto start = std::chrono::steady_clock::now();
  view_->Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "well inside Shutdown's 5 seconds";
  EXPECT_FALSE(view_->MonitorThread.joinable());
  EXPECT_EQ(waitResults_.back(), view::MonitorThread::kQuitIndex);
  EXPECT_TRUE(view_->Snapshot().isNull()) << "images freed";
}

TEST_F(MonitorThreadTest, MeterSliderAndTimeFollowAPlaybackButAPressedSliderStays) {
  StartView();
  const QImage restingMeter = Area(*view_, kMeterArea);
  StartPlaying(ToneFile("tone.wav", 4000));

  uint32_t last = 0;
  for (const char16_t* time : {u"00:00:01", u"00:00:02"}) {
    StepMs(1000);
    const uint32_t progress = io().GetProgressPercent();
    ASSERT_GT(progress, last);
    last = progress;
    ASSERT_TRUE(WaitFor([&] { return TimeIs(time) && PositionShown() == SliderReading(progress); }));
    EXPECT_EQ(Position().Enabled.load(), 1);
    EXPECT_EQ(view_->Meter.Enabled.load(), 1);
    EXPECT_NE(Area(*view_, kMeterArea), restingMeter);  // the tone's level is drawn
  }

  int id = 0;
  ASSERT_TRUE(view_->PointerDown(190, 65, &id));  // held near the far end
  ASSERT_EQ(id, view::kPositionSlider);
  const int held = PositionShown();
  ASSERT_GT(held, 80);
  StepMs(1000);
  const std::u16string position = view::FormatTime(io().GetPositionSeconds());
  ASSERT_EQ(position, u"00:00:03");
  ASSERT_TRUE(WaitFor([&] { return TimeIs(position); }));
  EXPECT_EQ(PositionShown(), held);
  // Let go (outside, so the thumb stays put): the next buffer moves it again.
  ASSERT_TRUE(view_->PointerUp(190, 200, &id));
  StepMs(200);
  const int progress = SliderReading(io().GetProgressPercent());
  ASSERT_LT(progress, held);
  EXPECT_TRUE(WaitFor([&] { return PositionShown() == progress; }));

  // The end: the transport hears of it once, on the UI thread, and the view rests.
  StepMs(1500);
  ASSERT_TRUE(WaitFor([&] { return !transport_.ends.empty(); }));
  ASSERT_TRUE(StopHandled());  // the stop of the transport's close
  QCoreApplication::processEvents();
  EXPECT_EQ(transport_.ends, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_EQ(PositionShown(), 0);
  EXPECT_EQ(Position().Enabled.load(), 0);
  EXPECT_EQ(view_->Meter.Enabled.load(), 0);
  EXPECT_EQ(Area(*view_, kMeterArea), restingMeter);
}

class VoiceActivatedRecording : public MonitorThreadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VoiceActivatedRecording, StatusIconFollowsTheVoiceAndTheLedOnlyWhenAskedTo) {
  const bool ledBlink = GetParam();
  settings_.LedBlink = ledBlink ? 1 : 0;
  FakeLed led;
  view::InstallLed(&led);
  StartView();
  view_->SetVasThreshold(20);
  audio::VasEnabled = 1;

  // Listening (a format, no file yet) shows zero times.
  view_->ShowTime(u"12:34:56");
  view_->ShowLength(u"(01:02:03)");
  recordStream_.SetFormat(audio::kFormatPcm8k16);
  StartRecording();
  StepMs(100);
  EXPECT_TRUE(WaitFor([&] {
    return TimeIs(u"00:00:00") && Shows(kLengthArea, [](MainView& v) { v.ShowLength(u"(00:00:00)"); });
  }));
  EXPECT_EQ(view_->Meter.Enabled.load(), 1);
  EXPECT_EQ(Position().Enabled.load(), 0);  // only playback enables the slider
  ASSERT_TRUE(io().Close());
  ASSERT_TRUE(StopHandled());

  // Speech for 300 ms, silence for 700 ms, from the first input frame.
  platform::VirtualWaveSignal speech;
  speech.kind = platform::VirtualWaveSignal::Kind::Speech;
  speech.level = 0.5;
  device_->SetInputSignal(speech);
  audio::RecordingActive = 1;
  ASSERT_TRUE(recordStream_.Open(dir_.filePath("vas.wav").toStdU16String(), audio::kStreamWrite));
  StartRecording();

  const QImage voice = Showing(kStatusIconArea, [](MainView& v) { v.ShowStatusIcon(0); });
  const QImage silence = Showing(kStatusIconArea, [](MainView& v) { v.ShowStatusIcon(3); });
  ASSERT_NE(voice, silence);
  // Each moment lies well inside a burst or a pause.
  const struct { int atMs; bool voice; } moments[] = {{200, true}, {600, false}, {1200, true}, {1700, false}};
  int now = 0;
  for (const auto& m : moments) {
    // Buffer by buffer, as at real time: a buffer measured while the meter
    // still holds an undrawn level is skipped.
    for (; now < m.atMs; now += 40) {
      StepMs(40);
      ASSERT_TRUE(WaitFor([&] { return !view_->Meter.Dirty.load(); })) << now;
    }
    ASSERT_TRUE(WaitFor([&] { return Area(*view_, kStatusIconArea) == (m.voice ? voice : silence); })) << m.atMs;
    EXPECT_EQ(led.last.load(), ledBlink ? int(m.voice) : -1) << m.atMs;
  }
  // The time shows the length written so far (only the voice is kept).
  const std::u16string length = view::FormatTime(io().GetLengthSeconds());
  EXPECT_TRUE(WaitFor([&] { return TimeIs(length); }));

  audio::RecordingActive = 0;
  ASSERT_TRUE(io().Close());
  EXPECT_TRUE(recordStream_.Close());
}

INSTANTIATE_TEST_SUITE_P(LedBlink, VoiceActivatedRecording, ::testing::Bool());

TEST_F(MonitorThreadTest, PlaybackRunningOutEndsOnceEvenWhenSignalledTwiceAndAUserStopNever) {
  StartView();
  // The next file is shorter than three buffers: its data has run out
  // (Finished) as soon as it starts, while it still sounds.
  const std::u16string tiny = ToneFile("tiny.wav", 50), shortTone = ToneFile("short.wav", 500);
  StartPlaying(shortTone);
  transport_.PlayNext = [&] { StartPlaying(tiny); };
  StepMs(1000);
  ASSERT_TRUE(StopHandled(false));
  io().StopEvent.Set();  // the device says it again before the UI thread runs
  ASSERT_TRUE(StopHandled(false));

  ASSERT_TRUE(WaitFor([&] { return !transport_.ends.empty(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(transport_.ends.size(), 1u);
  EXPECT_TRUE(io().IsPlaying());  // the tiny file goes on
  ASSERT_EQ(io().Finished.load(), 1);
  StepMs(200);
  EXPECT_TRUE(WaitFor([&] { return transport_.ends.size() == 2; }));
  ASSERT_TRUE(StopHandled());
  transport_.ends.clear();

  // User stops: a close, or a reset then a close, while data remains.
  const std::u16string longTone = ToneFile("long.wav", 2000);
  // A close, or a reset then a close, while data remains.
  StartPlaying(longTone);
  StepMs(300);
  ASSERT_TRUE(io().Close());
  ASSERT_TRUE(StopHandled());
  StartPlaying(longTone);
  StepMs(300);
  ASSERT_TRUE(io().Reset());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  ASSERT_TRUE(io().Close());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  EXPECT_TRUE(transport_.ends.empty());
  EXPECT_EQ(Position().Enabled.load(), 0);

  // The monitor has seen the end and handed it over, but the UI thread
  // closes the device before it gets there.
  StartPlaying(shortTone);
  StepMs(1000);
  ASSERT_TRUE(StopHandled(false));
  ASSERT_EQ(io().Finished.load(), 1);
  ASSERT_TRUE(io().Close());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  EXPECT_TRUE(transport_.ends.empty());

  // The hand-over is free again for the next playback.
  StartPlaying(shortTone);
  StepMs(1000);
  EXPECT_TRUE(WaitFor([&] { return transport_.ends.size() == 1; }));
}

// The end of a playback starts an empty file, whose data has run out at
// once: its stop comes while the first end is still running on the UI
// thread, and must end that file too.
TEST_F(MonitorThreadTest, AnEmptyNextFileStillEnds) {
  StartView();
  const std::u16string empty = dir_.filePath(QStringLiteral("empty.wav")).toStdU16String();
  {
    audio::WaveFileStream out;
    out.SetFormat(audio::kFormatPcm8k16);
    ASSERT_TRUE(out.Open(empty, audio::kStreamWrite));  // the header alone
  }
  StartPlaying(ToneFile("short.wav", 100));
  transport_.PlayNext = [&] {
    StartPlaying(empty);
    ASSERT_TRUE(StopHandled(false));  // the monitor sees the empty file's stop now
  };
  StepMs(200);
  EXPECT_TRUE(WaitFor([&] { return transport_.ends.size() == 2; }));
  EXPECT_EQ(io().Direction.load(), audio::WaveDirection::None);
}

TEST_F(MonitorThreadTest, FailedWaitShowsItsErrorAndEndsTheProcess) {
  view::MonitorThread& monitor = OwnMonitor();
  monitor.Wait = [](platform::Event* const*, int) { return platform::kWaitFailed; };
  static std::atomic<int> exitCode;  // static: the thread may outlive a failed test body
  exitCode = 0;
  monitor.ExitProcess = [](int code) { exitCode = code; };
  ASSERT_TRUE(view_->Init());
  ASSERT_TRUE(WaitFor([&] { return exitCode.load() != 0; }));
  EXPECT_EQ(exitCode.load(), -1);
  {
    std::lock_guard lock(errorsMutex_);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind(u"WaitForMultipleObjects(): failed.", 0), 0u);
  }
  view_->Shutdown();  // the thread has returned: no wait
}

}  // namespace
