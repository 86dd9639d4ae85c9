// The skinned view and its desktop glue: the tray lamp and the error box.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <future>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include "audio/app_flags.h"
#include "diag/show_error.h"
#include "view/error_box.h"
#include "view/main_view.h"
#include "view/record_led.h"
#include "view/skin_font.h"
#include "view/synthetic_skin.h"
#include "view/tray_led.h"

namespace {

using namespace view_test;

TEST(MainViewInit, ReportsTheStepThatFailedOrShowsTheBareSkin) {
  SyntheticSkin images;
  std::vector<std::u16string> errors;
  diag::SetErrorPresenter([&](void*, const std::u16string& text) {
    errors.push_back(text);
    return 1;
  });
  {
    view::MainView view(nullptr, nullptr);
    EXPECT_TRUE(view.Init());
    const QImage shown = view.Snapshot();
    EXPECT_EQ(shown.size(), QSize(240, 269));
    EXPECT_EQ(CountMismatches(shown, shown.rect(), SkinPixel), 0);
  }
  // A missing thumb fails too: a slider without one could not be used.
  const struct { int id; std::u16string message; } cases[] = {
      {104, u"Failed to create compatible DC."},  {162, u"Failed to initialize buttons."},
      {157, u"Failed to initialize sliders."},    {163, u"Failed to initialize audio monitor."},
  };
  for (const auto& c : cases) {
    SyntheticSkin own;
    own.Remove(c.id);
    errors.clear();
    EXPECT_FALSE(view::MainView(nullptr, nullptr).Init()) << c.id;
    EXPECT_EQ(errors, std::vector<std::u16string>{c.message + u"\n\nNo such file or directory"}) << c.id;
  }
  diag::SetErrorPresenter(nullptr);
}

// Pen events report whether they concern a control and which.
using Pen = std::pair<bool, int>;

class InitialisedView : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(view.Init()); }
  int Mismatches(const QRect& r, const PixelFn& expected) { return CountMismatches(view.Snapshot(), r, expected); }
  Pen Down(int x, int y) { return Call(&view::MainView::PointerDown, x, y); }
  Pen Move(int x, int y) { return Call(&view::MainView::PointerMove, x, y); }
  Pen Up(int x, int y) { return Call(&view::MainView::PointerUp, x, y); }
  Pen Call(bool (view::MainView::*event)(int, int, int*), int x, int y) {
    int id = -1;
    const bool handled = (view.*event)(x, y, &id);
    return {handled, id};
  }
  SyntheticSkin images;
  view::MainView view{nullptr, nullptr};
};

TEST_F(InitialisedView, PushButtonHitsItsRectangleAndCommandsOnlyWhenLiftedOnItAndNeverWhenDisabled) {
  const QRect play(37, 81, 34, 34);
  for (auto [x, y, hit] : {std::tuple{37, 81, true}, {69, 113, true}, {70, 100, false}, {50, 114, false}})
    EXPECT_EQ(view.Buttons[1].HitTest(x, y), hit) << x << "," << y;
  EXPECT_EQ(Down(120, 20), Pen(false, 0)) << "outside every control";
  EXPECT_EQ(Down(47, 90), Pen(true, view::kPlayButton));
  const auto pressed = [&](int x, int y) { return play.contains(x, y) ? ImagePixel(122, 0, 0) : SkinPixel(x, y); };
  EXPECT_EQ(Mismatches(view.Snapshot().rect(), pressed), 0) << "the pressed image, and only there";
  EXPECT_EQ(Move(60, 20), Pen(true, 0));
  EXPECT_EQ(Up(60, 20), Pen(false, 0)) << "lifted off it: no command";
  EXPECT_EQ(Mismatches(play, SkinPixel), 0) << "released look";
  EXPECT_FALSE(Move(47, 90).first) << "nothing captured any more";
  view.EnableButton(view::kPlayButton, false);
  EXPECT_EQ(Mismatches(play, Solid(121)), 0);
  EXPECT_FALSE(Down(47, 90).first);
}

// The toggle switches at pen-down, once; a press lifted outside gives its
// switch back, or the button would show the opposite of what VAS does.
TEST_F(InitialisedView, VasToggleTogglesOncePerPenDownAndNotForAPressLiftedOutside) {
  const QRect r(8, 128, 38, 38);
  const Pen vasPen(true, view::kVasButton);
  const view::SkinButton& vas = view.Buttons[7];
  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 1) << "on at pen-down";
  EXPECT_EQ(Move(120, 20), Pen(true, 0));
  EXPECT_EQ(Move(20, 140), vasPen);
  EXPECT_EQ(Up(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 1) << "sliding back does not toggle again";
  EXPECT_EQ(Mismatches(r, Solid(162)), 0) << "lit while on";

  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 0);
  EXPECT_FALSE(Up(120, 20).first) << "lifted outside: no command";
  EXPECT_EQ(vas.Toggled.load(), 1) << "and no switch: still on";
  EXPECT_EQ(Mismatches(r, Solid(162)), 0) << "still lit";
  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(Up(20, 140), vasPen);
  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(Move(120, 20), Pen(true, 0));
  EXPECT_FALSE(Up(120, 20).first);
  EXPECT_EQ(vas.Toggled.load(), 0) << "abandoned after sliding off: still off";
  EXPECT_EQ(Mismatches(r, SkinPixel), 0);
}

TEST_F(InitialisedView, SliderPercentMapsOntoEachTrackAndBackAndDrawingRestoresWhatItLeaves) {
  const struct { int id, percent; float position; int reading; } cases[] = {
      {view::kVolumeSlider, 100, 3, 100},      {view::kVolumeSlider, 0, 57, 0},
      {view::kThresholdSlider, 100, 221, 94},  {view::kPositionSlider, 37, -1, 37},
      {view::kVolumeSlider, 50, 30, 50},       {view::kThresholdSlider, 50, 144, 50},
      {view::kPositionSlider, 50, 119, 50},
  };
  for (const auto& c : cases) {
    view.SetSliderPercent(c.id, c.percent);
    const float position = view.Sliders[c.id - view::kFirstSlider].Position;
    EXPECT_FLOAT_EQ(c.position < 0 ? -1 : position, c.position) << c.id;
    EXPECT_EQ(view.SliderPercent(c.id), c.reading) << c.id << " " << c.percent;
  }
  // All at 50 now, the threshold fill a column short of its thumb; thumbs
  // keep a magenta top-left corner.
  const auto expected = [](int x, int y) {
    if (y >= 30 && y < 38 && x >= 220 && x < 233 && !(x == 220 && y == 30)) return ImagePixel(102, 0, 0);
    if (x >= 223 && x < 233 && y >= 38 && y < 65) return ImagePixel(112, x - 223, y - 4);
    if (x >= 144 && x < 154 && y >= 147 && y < 162 && !(x == 144 && y == 147)) return ImagePixel(157, 0, 0);
    if (x >= 57 && x < 143 && y >= 151 && y < 162) return ImagePixel(158, x - 57, 0);
    if (x == 119 && y >= 60 && y < 71) return qRgb(255, 0, 0);
    return SkinPixel(x, y);
  };
  EXPECT_EQ(Mismatches(view.Snapshot().rect(), expected), 0);
}

// Volume: Left 223, Right 234, Top 3, Bottom 65; the pen is taken 5 pixels around.
TEST_F(InitialisedView, SliderTakesThePenFivePixelsAroundItAndCentresItsThumbOnIt) {
  view::SkinSlider& volume = view.Sliders[0];
  for (auto [x, y, hit] : {std::tuple{218, 30, true}, {217, 30, false}, {238, 30, true}, {225, 70, false}}) {
    EXPECT_EQ(volume.HitTest(x, y), hit) << x << "," << y;
    EXPECT_EQ(volume.KeepPosition, hit ? 0 : 1) << "a miss keeps the thumb where it is";
  }
  const struct { int id, x, y; float position; } pens[] = {
      {view::kVolumeSlider, 225, 68, 57},
      {view::kThresholdSlider, 100, 155, 95},
      {view::kPositionSlider, 100, 65, 100}};
  for (const auto& p : pens) {
    ASSERT_EQ(Down(p.x, p.y), Pen(true, p.id)) << p.x << "," << p.y;
    EXPECT_FLOAT_EQ(view.Sliders[p.id - view::kFirstSlider].Position, p.position) << p.x << "," << p.y;
    Up(p.x, p.y);
  }
  EXPECT_EQ(Down(219, 30), Pen(true, view::kVolumeSlider)) << "4 pixels left of the track";
  EXPECT_FLOAT_EQ(volume.Position, 26.0f);
  EXPECT_EQ(Move(225, 14), Pen(true, view::kVolumeSlider));
  EXPECT_EQ(Move(100, 14), Pen(true, 0)) << "far away: the thumb stays";
  EXPECT_EQ(Up(100, 14), Pen(true, view::kVolumeSlider)) << "a slider reports its release wherever the pen is";
  EXPECT_EQ(view.SliderPercent(view::kVolumeSlider), 87);
  volume.Enabled = 0;
  EXPECT_FALSE(Down(225, 40).first);
}

TEST_F(InitialisedView, MeterColumnsAndVasBarFollowTheLevelAndADisabledMeterErases) {
  view::LevelMeter& meter = view.Meter;
  const audio::WaveFormatEx mono{1, 1, 8000, 16000, 2, 16, 0}, stereo{1, 2, 8000, 32000, 4, 16, 0};
  const audio::WaveFormatEx six{1, 6, 8000, 96000, 12, 16, 0};
  // `left`/`right` lit rows in the columns, `bar` columns in both dotted rows.
  const auto shown = [&](int left, int right, int bar) {
    const auto expected = [=](int x, int y) {
      const int rows = x >= 4 && x < 7 ? left : x >= 12 && x < 15 ? right : 0;
      if (y < 78 && y >= 78 - rows) return ImagePixel(143, 0, y - 3);
      const bool barRow = (y >= 133 && y < 136) || (y >= 141 && y < 144);
      if (barRow && x >= 57 && x < 57 + bar) return ImagePixel(163, x - 57, 0);
      return SkinPixel(x, y);
    };
    return Mismatches(QRect(4, 3, 11, 75), expected) + Mismatches(QRect(57, 133, 167, 13), expected);
  };
  // A column that falls is erased even while the other rises.
  const struct { const audio::WaveFormatEx* format; bool vas; int level, left, right, bar; } steps[] = {
      {&mono, false, 40, 30, 30, 0},  {&mono, true, 40, 30, 30, 67}, {&mono, true, 10, 8, 8, 17},
      {&mono, true, 0, 0, 0, 0},      {&stereo, true, 80 << 8 | 20, 15, 60, 0}, {&stereo, true, 90 << 8 | 4, 3, 68, 0},
      {&stereo, true, 0, 0, 0, 0},    {&six, false, 50, 0, 0, 0},    {nullptr, false, 50, 0, 0, 0},
      {&mono, true, 40, 30, 30, 67},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    audio::SetMeterFormat(meter, steps[i].format);
    meter.Enabled = 1;
    audio::VasEnabled = steps[i].vas;
    meter.Level = static_cast<uint16_t>(steps[i].level);
    meter.Dirty = true;
    view.RedrawControl(meter);
    EXPECT_FALSE(meter.Dirty) << i;
    EXPECT_EQ(shown(steps[i].left, steps[i].right, steps[i].bar), 0) << "step " << i;
  }
  meter.Enabled = 0;
  meter.AboveThreshold = true;
  view.RedrawControl(meter);  // erases without Dirty
  EXPECT_FALSE(meter.AboveThreshold);
  EXPECT_EQ(shown(0, 0, 0), 0);
  audio::VasEnabled = 0;
}

// Most buffers light the rows the last one lit: those ask for no repaint,
// and without VAS the bar's rows, where nothing is drawn, never do.
TEST_F(InitialisedView, AMeterLevelThatLightsTheSameRowsAsksForNoRepaint) {
  view::LevelMeter& meter = view.Meter;
  const audio::WaveFormatEx mono{1, 1, 8000, 16000, 2, 16, 0}, stereo{1, 2, 8000, 32000, 4, 16, 0};
  QImage back = view.Snapshot();
  const struct { const audio::WaveFormatEx* format; bool vas; int level; bool draws, bar; } steps[] = {
      {&mono, false, 40, true, false},  {&mono, false, 40, false, false}, {&mono, false, 20, true, false},
      {&mono, true, 20, true, true},    {&mono, true, 20, false, false},  {&mono, true, 60, true, true},
      {&mono, false, 60, true, true},   {&mono, false, 10, true, true},   {&mono, false, 30, true, false},
      {&stereo, false, 30 << 8 | 5, true, false}, {&stereo, false, 30 << 8 | 5, false, false},
      {&mono, false, 30, true, false},
  };
  meter.Enabled = 1;
  for (size_t i = 0; i < std::size(steps); ++i) {
    audio::SetMeterFormat(meter, steps[i].format);
    audio::VasEnabled = steps[i].vas;
    meter.Level = static_cast<uint16_t>(steps[i].level);
    meter.Dirty = true;
    const QImage before = back.copy();
    EXPECT_EQ(meter.Draw(back, view.Skin.Image), steps[i].draws) << "step " << i;
    EXPECT_FALSE(meter.Dirty) << i;
    EXPECT_EQ(meter.BarChanged, steps[i].bar) << "step " << i;
    if (!steps[i].draws) EXPECT_EQ(back, before) << "step " << i;
    const QRect bar(57, 133, 167, 13);
    if (!steps[i].bar) EXPECT_EQ(back.copy(bar), before.copy(bar)) << "the bar's rows, step " << i;
  }
  meter.Enabled = 0;
  EXPECT_TRUE(meter.Draw(back, view.Skin.Image)) << "disabled: erased, every time";
  EXPECT_TRUE(meter.BarChanged);
  meter.Enabled = 1;
  meter.Level = 30;
  meter.Dirty = true;
  EXPECT_TRUE(meter.Draw(back, view.Skin.Image)) << "the level drawn before the erasing is drawn again";
  audio::VasEnabled = 0;
}

// The playback speed goes beside the format's first word: every format with
// every speed fits the area (84 pixels at 10 points).
TEST_F(InitialisedView, EveryFormatWithEverySpeedFitsTheFormatArea) {
  const QFontMetrics metrics(view::CreateSkinFont(QStringLiteral("Arial"), 10, 400));
  for (const char16_t* format : {u"GSM", u"PCM"}) {
    for (const char16_t* speed : {u"0.5\u00D7", u"0.75\u00D7", u"1.25\u00D7", u"1.5\u00D7", u"2\u00D7"}) {
      const QString text = QString::fromUtf16(format) + QLatin1Char(' ') + QString::fromUtf16(speed);
      EXPECT_LE(metrics.horizontalAdvance(text), 215 - 131) << text.toStdString();
    }
  }
}

TEST(RecordLed, OnlyAnInstalledTrayLampCountsAndItBlinksAsLastAsked) {
  EXPECT_EQ(view::LedCount(), 0);
  EXPECT_FALSE(view::SetRecordLed(true));
  {
    view::TrayLed tray;
    view::InstallLed(&tray);
    EXPECT_EQ(view::LedCount(), 1);
    EXPECT_TRUE(view::SetRecordLed(true));
    EXPECT_TRUE(tray.IsLit());
    tray.Tick();
    EXPECT_FALSE(tray.IsLit());
    EXPECT_TRUE(view::SetRecordLed(false));
    tray.Tick();
    EXPECT_FALSE(tray.IsLit()) << "dark when off";
    // A blink asked for on the monitor thread and still queued when the
    // user's stop switches the lamp off must not light it again.
    std::thread([&] { tray.SetBlinking(true); }).join();
    tray.SetBlinking(false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(tray.IsLit());
  }
  EXPECT_EQ(view::LedCount(), 0) << "a lamp that goes away is no longer the LED";
}

TEST(ErrorBox, ShowsTheComposedTextWithAStopIconOwnedByTheWindowOnTheUiThread) {
  QWidget window;
  view::ErrorBox::Install(&window);
  QString text;
  std::function<void()> poll = [&] {  // closes the box once it appears
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return QTimer::singleShot(5, poll);
    text = box->text();
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->parentWidget(), &window);
    EXPECT_EQ(QThread::currentThread(), QApplication::instance()->thread());
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, poll);
  auto result = std::async(std::launch::async,
                           [] { return diag::ShowError(nullptr, u"CreateThread(): failed.", ENOMEM); });
  while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(result.get(), QMessageBox::Ok);
  EXPECT_EQ(text, QStringLiteral("CreateThread(): failed.\n\nCannot allocate memory"));
  view::ErrorBox::Uninstall();
}

}  // namespace
