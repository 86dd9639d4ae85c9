// The monitor thread against WaveIO on the virtual device. That time and
// position follow a playback, and that each end applies the play mode, is
// driven through the main window in the controller suite.

#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "audio/wave_io_test_fixture.h"
#include "diag/show_error.h"
#include "support/pixel_match.h"
#include "view/main_view.h"
#include "view/monitor_thread.h"
#include "view/view_transport.h"

namespace {

using namespace std::chrono_literals;
using view::MainView;

// Polls cond, running the UI thread's queued calls if asked, for up to 10 s.
bool WaitFor(const std::function<bool()>& cond, bool runUiCalls = true) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  for (;;) {
    if (runUiCalls) QCoreApplication::processEvents();
    if (cond()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

// Its end of playback closes the device as the real one does, then starts
// whatever comes next.
class FakeTransport : public view::ViewTransport {
 public:
  explicit FakeTransport(audio::WaveIO& io) : AudioIO(io) {}
  void AttachView(MainView*) override {}
  void AttachLevelMeter(audio::MeterState* meter) override { AudioIO.LevelMeter = meter; }
  audio::WaveIO* GetAudioIO() override { return &AudioIO; }
  void OnPlaybackEnd() override {
    ends.push_back(std::this_thread::get_id());
    ++endCount;
    AudioIO.Close();
    if (auto next = std::exchange(PlayNext, nullptr)) next();
  }
  audio::WaveIO& AudioIO;
  std::vector<std::thread::id> ends;  // read on the UI thread once the ends are over
  std::atomic<int> endCount{0};
  std::function<void()> PlayNext;
};

class MonitorThreadTest : public audiotest::WaveIOTest {
 protected:
  void SetUp() override {
    WaveIOTest::SetUp();
    transport_ = std::make_unique<FakeTransport>(*io_);
  }
  void TearDown() override {
    // The view goes first and must take its meter back from the device
    // layer, whose Close writes into it.
    view_.reset();
    EXPECT_EQ(io_->LevelMeter, nullptr);
    WaveIOTest::TearDown();
  }
  // As the program makes it (Init starts the monitor), once its first stop is handled.
  void StartView() {
    view_ = std::make_unique<MainView>(nullptr, transport_.get());
    ASSERT_TRUE(view_->Init());
    ASSERT_TRUE(StopHandled());
  }
  // A loud file of `ms` milliseconds at 8000 Hz, 16 bits (0: the header alone).
  std::string Tone(const std::string& name, int ms) {
    return Recorded(name, audio::kFormatPcm8k16, Numbered(16 * ms));
  }
  void Play(const std::string& path) {
    stream_.Close();  // the previous playback's
    StartPlaying(stream_, path);
  }
  QImage Meter() { return view_->Snapshot().copy(QRect(4, 3, 11, 75)); }
  int PositionShown() { return view_->SliderPercent(view::kPositionSlider); }
  // Until the monitor has handled the stop now signalled (and, when running
  // UI calls, any end of playback it handed over).
  bool StopHandled(bool runUiCalls = true) {
    return WaitFor([this] { return !io_->StopEvent.IsSet(); }, runUiCalls);
  }

  std::unique_ptr<FakeTransport> transport_;
  std::unique_ptr<view::MonitorThread> monitor_;  // one of the test's own, when set
  std::unique_ptr<MainView> view_;
};

TEST_F(MonitorThreadTest, MeterFollowsAPlaybackThatEndsOnceAndAPressedSliderStays) {
  StartView();
  EXPECT_TRUE(transport_->ends.empty()) << "the start-up stop ends nothing";
  const QImage restingMeter = Meter();
  Play(Tone("tone.wav", 4000));
  StepMs(1000);
  ASSERT_TRUE(WaitFor([&] { return PositionShown() > 20; }));
  EXPECT_FALSE(testsupport::ImagesMatch(Meter(), restingMeter)) << "the tone's level is drawn";
  int id = 0;
  ASSERT_TRUE(view_->PointerDown(190, 65, &id));  // held near the far end
  ASSERT_EQ(id, view::kPositionSlider);
  const int held = PositionShown();
  StepMs(1000);
  ASSERT_TRUE(WaitFor([&] { return view_->ShownText(MainView::TextArea::Time) == u"00:00:02"; }));
  EXPECT_EQ(PositionShown(), held);
  ASSERT_TRUE(view_->PointerUp(190, 200, &id));

  // The end reaches the transport once, on the UI thread. It starts an empty
  // file, whose stop comes while that end is still running; it ends too.
  const std::string empty = Tone("empty.wav", 0), shortTone = Tone("short.wav", 100);
  transport_->PlayNext = [&] {
    Play(empty);
    ASSERT_TRUE(StopHandled(false));  // the monitor sees the empty file's stop now
  };
  StepMs(2500);
  ASSERT_TRUE(WaitFor([&] { return transport_->ends.size() == 2; }));
  ASSERT_TRUE(StopHandled());  // the stop of the transport's close
  QCoreApplication::processEvents();
  const std::thread::id ui = std::this_thread::get_id();
  EXPECT_EQ(transport_->ends, (std::vector<std::thread::id>{ui, ui}));
  EXPECT_EQ(PositionShown(), 0);
  EXPECT_TRUE(testsupport::ImagesMatch(Meter(), restingMeter));

  // A user's stop, even after the monitor handed the end over but before the
  // UI thread ran it, ends nothing.
  Play(shortTone);
  StepMs(1000);
  ASSERT_TRUE(StopHandled(false));
  ASSERT_EQ(io_->Finished.load(), 1);
  ASSERT_TRUE(io_->Close());
  ASSERT_TRUE(StopHandled());
  QCoreApplication::processEvents();
  EXPECT_EQ(transport_->ends.size(), 2u);

  const auto start = std::chrono::steady_clock::now();
  view_->Shutdown();  // the monitor is blocked in its wait
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

// The UI thread may run the end handed on before the monitor's pass is over
// (here it runs at once, inside the hand-over). The end starts an empty file,
// whose stop comes at once: the monitor reset its stop before the hand-on, so
// that file is ended too.
TEST_F(MonitorThreadTest, AnEndRunAtOnceThatStartsAFileEndingAtOnceEndsItToo) {
  view_ = std::make_unique<MainView>(nullptr, transport_.get());
  monitor_ = std::make_unique<view::MonitorThread>(*view_, *io_);
  monitor_->PostToUiThread = [](std::function<void()> call) { call(); };
  view_->SetMonitorBody([this](MainView&) { monitor_->Run(); });
  ASSERT_TRUE(view_->Init());
  ASSERT_TRUE(StopHandled(false));
  const std::string empty = Tone("empty.wav", 0);
  transport_->PlayNext = [&] { Play(empty); };
  Play(Tone("short.wav", 100));
  StepMs(200);
  EXPECT_TRUE(WaitFor([&] { return transport_->endCount == 2; }, false));
  EXPECT_TRUE(WaitFor([&] { return io_->Direction.load() == audio::WaveDirection::None; }, false));
}

// A file cut short while it plays: what was read plays, then the failure is
// shown on the UI thread with the system's text, and it is no end of playback.
TEST_F(MonitorThreadTest, AFileThatCannotBeReadOnIsReportedAndNotEnded) {
  std::vector<std::u16string> errors;  // UI thread only
  diag::SetErrorPresenter([&](void*, const std::u16string& text) {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    errors.push_back(text);
    return 1;
  });
  StartView();
  const std::string path = Tone("cut.wav", 2000);
  Play(path);
  StepMs(200);
  std::filesystem::resize_file(path, 44 + 640 * 10 + 100);
  StepMs(1000);
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  EXPECT_EQ(errors, std::vector<std::u16string>{u"IAudioStream::Read(): failed.\n\nInput/output error"});
  EXPECT_EQ(transport_->endCount, 0);
  EXPECT_FALSE(io_->Finished.load());
  EXPECT_EQ(Captured().size(), 640u * 10);
  EXPECT_EQ(io_->Direction.load(), audio::WaveDirection::Output) << "left to the owner to close";
  diag::SetErrorPresenter(nullptr);
}

// Under voice activation the icon shows voice or quiet with every buffer, but
// not over a pause: a buffer handed back by the pause's own stop, handled
// after the pause has shown its icon, leaves it showing paused. The monitor's
// wakes are handed to it one at a time, so each is handled in a known order.
TEST_F(MonitorThreadTest, AVoiceActivatedRecordingOncePausedStaysShownPaused) {
  using view::MonitorThread;
  view_ = std::make_unique<MainView>(nullptr, transport_.get());
  monitor_ = std::make_unique<MonitorThread>(*view_, *io_);
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<int> wakes;
  int waits = 0;
  monitor_->Wait = [&](platform::Event* const* events, int) {
    std::unique_lock lock(mutex);
    ++waits;
    changed.notify_all();
    while (wakes.empty()) {
      if (events[MonitorThread::kQuitIndex]->IsSet()) return MonitorThread::kQuitIndex;
      changed.wait_for(lock, 5ms);
    }
    const int index = wakes.front();
    wakes.pop_front();
    return index;
  };
  // Returns once the monitor has handled the wake and waits again.
  auto wake = [&](int index) {
    std::unique_lock lock(mutex);
    const int before = waits;
    wakes.push_back(index);
    changed.notify_all();
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return waits > before; }));
  };
  view_->SetMonitorBody([this](MainView&) { monitor_->Run(); });
  ASSERT_TRUE(view_->Init());
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return waits > 0; }));
  }
  audio::VasEnabled = 1;
  audio::WaveFileStream stream;
  StartRecordingTo(stream, audio::kFormatPcm8k16);
  std::atomic<bool>& voice = view_->Meter.AboveThreshold;
  for (const bool heard : {true, false, true}) {
    voice = heard;
    wake(MonitorThread::kDataIndex);
    EXPECT_EQ(view_->ShownStatusIcon(), heard ? view::kStatusRecording : view::kStatusPaused);
  }
  // Paused as the transport does it; the stop's buffer was loud.
  ASSERT_TRUE(io_->Pause());
  view_->ShowStatusIcon(view::kStatusPaused);
  voice = true;
  wake(MonitorThread::kDataIndex);
  EXPECT_EQ(view_->ShownStatusIcon(), view::kStatusPaused);
  Finish(stream);
  view_.reset();  // the monitor ends before the wakes it waits on go
}

}  // namespace
