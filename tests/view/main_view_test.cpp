#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QPaintEvent>
#include <QRegion>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diag/show_error.h"
#include "view/main_view.h"
#include "view/skin_font.h"
#include "view/skin_view_widget.h"
#include "view/synthetic_skin.h"
#include "view/view_transport.h"

namespace {

using namespace view_test;

struct RecordingTransport : view::ViewTransport {
  void AttachView(view::MainView* v) override { view = v; }
  void AttachLevelMeter(audio::MeterState* m) override { meter = m; }
  view::MainView* view = nullptr;
  audio::MeterState* meter = nullptr;
};

class MainViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      errors.push_back(text);
      return 1;
    });
  }
  void TearDown() override { diag::SetErrorPresenter(nullptr); }
  SyntheticSkin images;
  std::vector<std::u16string> errors;
  RecordingTransport transport;
};

TEST_F(MainViewTest, InitReportsTheStepThatFailedOrShowsTheBareSkin) {
  {  // every image there: the bare skin
    view::MainView view(nullptr, &transport);
    EXPECT_EQ(transport.view, &view);
    ASSERT_TRUE(view.Init());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(transport.meter, static_cast<audio::MeterState*>(&view.Meter));
    view.SetVasThreshold(35);  // reaches the meter; a disabled meter draws nothing
    EXPECT_EQ(view.Meter.Threshold.load(), 35);
    const QImage shown = view.Snapshot();
    ASSERT_EQ(shown.size(), QSize(240, 269));
    EXPECT_EQ(CountMismatches(shown, shown.rect(), FromSkin()), 0);
    EXPECT_EQ(view.Meter.Enabled.load(), 0);
  }
  const struct { int id; std::u16string message; } cases[] = {
      {104, u"Failed to create compatible DC."},     {121, u"Failed to initialize buttons."},
      {162, u"Failed to initialize buttons."},       {112, u"Failed to initialize sliders."},
      {157, u"Failed to initialize sliders."},       {143, u"Failed to initialize audio monitor."},
      {163, u"Failed to initialize audio monitor."},
  };
  for (const auto& c : cases) {
    SyntheticSkin own;  // a fresh folder for each case
    own.Remove(c.id);
    errors.clear();
    view::MainView view(nullptr, &transport);
    EXPECT_FALSE(view.Init()) << c.id;
    ASSERT_EQ(errors.size(), 1u) << c.id;
    EXPECT_EQ(errors[0].substr(0, c.message.size()), c.message) << c.id;
    EXPECT_NE(errors[0].find(u"No such file or directory"), std::u16string::npos) << c.id;
  }
}

// Pen events report whether they concern a control and which.
using Pen = std::pair<bool, int>;
const Pen kNone{false, 0};

class InitialisedView : public MainViewTest {
 protected:
  void SetUp() override {
    MainViewTest::SetUp();
    ASSERT_TRUE(view.Init());
  }
  int Mismatches(const QRect& r, const PixelFn& expected) { return CountMismatches(view.Snapshot(), r, expected); }
  Pen Down(int x, int y) { return Call(&view::MainView::PointerDown, x, y); }
  Pen Move(int x, int y) { return Call(&view::MainView::PointerMove, x, y); }
  Pen Up(int x, int y) { return Call(&view::MainView::PointerUp, x, y); }
  Pen Call(bool (view::MainView::*event)(int, int, int*), int x, int y) {
    int id = -1;
    const bool handled = (view.*event)(x, y, &id);
    return {handled, id};
  }
  view::MainView view{nullptr, &transport};
};

TEST_F(InitialisedView, PushButtonCommandsOnlyWhenLiftedOnIt) {
  EXPECT_EQ(Down(120, 20), kNone) << "outside every control";
  EXPECT_FALSE(Move(10, 90).first);
  EXPECT_FALSE(Up(10, 90).first);

  const QRect record(5, 84, 28, 28);
  EXPECT_EQ(Down(15, 95), Pen(true, view::kRecordButton));
  EXPECT_EQ(Mismatches(record, Solid(140)), 0) << "pressed image";
  EXPECT_EQ(Move(20, 100), Pen(true, view::kRecordButton));
  EXPECT_EQ(Move(60, 20), Pen(true, 0));
  EXPECT_EQ(Mismatches(record, FromSkin()), 0) << "released look";
  EXPECT_EQ(Up(60, 20), kNone);
  EXPECT_FALSE(Move(15, 95).first) << "nothing captured any more";

  EXPECT_EQ(Down(47, 90), Pen(true, view::kPlayButton));
  EXPECT_EQ(Up(48, 91), Pen(true, view::kPlayButton));
  EXPECT_EQ(Mismatches(QRect(37, 81, 34, 34), FromSkin()), 0);

  EXPECT_EQ(Down(80, 90), Pen(true, view::kStopButton));
  EXPECT_FALSE(Up(150, 20).first);
  EXPECT_EQ(Mismatches(QRect(75, 84, 28, 28), FromSkin()), 0) << "lifted outside without a move: released";
}

TEST_F(InitialisedView, VasToggleTogglesOncePerPenDown) {
  const QRect r(8, 128, 38, 38);
  const Pen vasPen(true, view::kVasButton);
  view::SkinButton& vas = view.Buttons[7];
  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 1) << "on at pen-down";
  EXPECT_EQ(Move(120, 20), Pen(true, 0));
  EXPECT_EQ(Mismatches(r, Solid(162)), 0) << "lit while on";
  EXPECT_EQ(Move(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 1) << "sliding back does not toggle again";
  EXPECT_EQ(Up(20, 140), vasPen);
  EXPECT_EQ(Mismatches(r, Solid(162)), 0) << "stays lit";

  EXPECT_EQ(Down(20, 140), vasPen);
  EXPECT_EQ(vas.Toggled.load(), 0);
  EXPECT_EQ(Mismatches(r, Solid(162)), 0) << "lit while held";
  EXPECT_FALSE(Up(120, 20).first) << "lifted outside: no command";
  EXPECT_EQ(vas.Toggled.load(), 0) << "the toggle stays inverted";
  EXPECT_EQ(Mismatches(r, FromSkin()), 0);

  view.SetButtonToggled(view::kVasButton, true);
  EXPECT_EQ(Mismatches(r, Solid(162)), 0);
  view.SetButtonToggled(view::kRecordButton, true);
  EXPECT_EQ(Mismatches(QRect(5, 84, 28, 28), FromSkin()), 0) << "a push button has no toggle";
}

TEST_F(InitialisedView, DisabledButtonShowsItsDisabledLookAndIgnoresThePen) {
  const QRect r(5, 84, 28, 28);
  view.EnableButton(view::kRecordButton, false);
  EXPECT_EQ(Mismatches(r, Solid(142)), 0);
  EXPECT_FALSE(Down(15, 95).first);
  view.SetButtonFace(view::kRecordButton, view::FaceActive);
  EXPECT_EQ(Mismatches(r, Solid(142)), 0) << "no face while disabled";

  ASSERT_FALSE(view.Buttons[0].LoadButtonFaces(172, 167, 0, 0));
  view.EnableButton(view::kRecordButton, true);
  EXPECT_EQ(Mismatches(r, FromSkin()), 0) << "enabled look is the skin's, whatever the face";
  view.SetButtonFace(view::kRecordButton, view::FaceActive);
  EXPECT_EQ(Mismatches(r, Solid(172)), 0);
  EXPECT_TRUE(Down(15, 95).first);
  EXPECT_EQ(Mismatches(r, Solid(167)), 0);
}

TEST_F(InitialisedView, PenNearASliderGrabsItAndItsThumbFollows) {
  view.SetSliderPercent(view::kThresholdSlider, 100);
  EXPECT_EQ(view.SliderPercent(view::kThresholdSlider), 94);
  view.SetSliderPercent(view::kVolumeSlider, 0);
  const Pen volumePen(true, view::kVolumeSlider);
  const view::SkinSlider& volume = view.Sliders[0];
  EXPECT_EQ(Down(219, 30), volumePen) << "4 pixels left of the track";
  EXPECT_FLOAT_EQ(volume.Position, 26.0f);
  EXPECT_EQ(volume.Pressed.load(), 1);
  EXPECT_EQ(Move(225, 14), volumePen);
  EXPECT_FLOAT_EQ(volume.Position, 10.0f);
  EXPECT_EQ(Move(100, 14), Pen(true, 0)) << "far away: the thumb stays";
  EXPECT_FLOAT_EQ(volume.Position, 10.0f);
  EXPECT_EQ(Up(100, 14), volumePen) << "a slider reports its release wherever the pen is";
  EXPECT_FLOAT_EQ(volume.Position, 10.0f);
  EXPECT_EQ(volume.Pressed.load(), 0);
  EXPECT_EQ(view.SliderPercent(view::kVolumeSlider), 87);
}

TEST_F(InitialisedView, TextIsDrawnBottomAlignedInsideItsAreaAndReplacesTheOldText) {
  view.ShowTime(u"88:88:88");
  QImage shown = view.Snapshot();
  const QRect area(33, 33, 115 - 33, 52 - 33);
  int top = 1000, bottom = -1, inkOutside = 0;
  for (int y = 0; y < 269; ++y)
    for (int x = 0; x < 240; ++x) {
      if ((shown.pixel(x, y) | 0xFF000000u) == (SkinPixel(x, y) | 0xFF000000u)) continue;
      if (!area.contains(x, y)) ++inkOutside;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  EXPECT_EQ(inkOutside, 0);
  ASSERT_GE(bottom, 0) << "no text drawn";
  EXPECT_GE(bottom, 52 - 1 - 6) << "digits sit on the baseline, a descent above the bottom";
  EXPECT_GE(top, 33 + 2) << "not top-aligned";
  EXPECT_GE(bottom - top + 1, 11) << "digits of a 19-pixel font";

  view.ShowTime(u"1");
  shown = view.Snapshot();
  EXPECT_EQ(CountMismatches(shown, QRect(60, 33, 56, 20), FromSkin()), 0) << "old digits gone";
  view.ShowTime(nullptr);
  EXPECT_EQ(view.Snapshot(), shown);
  std::atomic<bool> free{false};
  std::thread([&] {
    free = view.TextLock.TryEnter();
    if (free) view.TextLock.Leave();
  }).join();
  EXPECT_TRUE(free) << "a null text leaves the lock free";
}

TEST(SkinFont, PointSizesConvertAtNinetyDotsPerInchAndArialResolves) {
  const QFont small = view::CreateSkinFont("Arial", 10, 400);
  const QFont large = view::CreateSkinFont("Arial", 15, 700);
  EXPECT_EQ(small.pixelSize(), 13);
  EXPECT_EQ(small.weight(), QFont::Normal);
  EXPECT_EQ(large.pixelSize(), 19);
  EXPECT_EQ(large.weight(), QFont::Bold);
  EXPECT_EQ(QFontInfo(small).family(), QString("Liberation Sans"));
}

TEST_F(InitialisedView, IconsDrawOverTheirSquaresWithMagentaShowingTheSkin) {
  const auto icon = [](int id, int index) { return [=](int, int) { return IconPixel(id, index); }; };
  view.ShowStatusIcon(1);
  EXPECT_EQ(view.Snapshot().pixel(29, 7) | 0xFF000000u, SkinPixel(29, 7) | 0xFF000000u);
  EXPECT_EQ(Mismatches(QRect(30, 7, 9, 10), icon(160, 1)), 0);
  view.ShowStatusIcon(2);
  EXPECT_EQ(Mismatches(QRect(30, 7, 9, 10), icon(160, 2)), 0);
  view.ShowVolumeIcon(3);
  EXPECT_EQ(Mismatches(QRect(221, 66, 17, 18), icon(159, 3)), 0);
  view.ShowVolumeIcon(7);  // no such icon
  EXPECT_EQ(Mismatches(QRect(221, 66, 17, 18), icon(159, 3)), 0);
}

// A widget that notes what it was asked to repaint.
class RecordingWidget : public view::SkinViewWidget {
 public:
  QRegion painted;

 protected:
  void paintEvent(QPaintEvent* event) override {
    painted += event->region();
    view::SkinViewWidget::paintEvent(event);
  }
};

TEST_F(MainViewTest, WidgetRepaintsOtherThreadsDrawingAndTurnsMouseButtonsIntoPenEvents) {
  RecordingWidget widget;
  view::MainView view(&widget, &transport);
  ASSERT_TRUE(view.Init());
  widget.SetView(&view);
  widget.show();
  QApplication::processEvents();
  widget.painted = QRegion();
  std::thread([&] {
    view.SetSliderPercent(view::kPositionSlider, 50);
    view.ShowLength(u"(00:01:23)");
  }).join();
  // The queued repaint requests run first, then the update they post.
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_TRUE(widget.painted.contains(QRect(148, 4, 63, 17))) << "the length text";
  EXPECT_TRUE(widget.painted.contains(QPoint(119, 65))) << "the position line";

  std::vector<std::string> seen;
  const auto note = [&](const char* what) {
    return [&seen, what](bool hit, int id) { seen.push_back(what + std::to_string(hit) + " " + std::to_string(id)); };
  };
  QObject::connect(&widget, &view::SkinViewWidget::PenDown, note("down "));
  QObject::connect(&widget, &view::SkinViewWidget::PenMove, note("move "));
  QObject::connect(&widget, &view::SkinViewWidget::PenUp, note("up "));
  for (auto [type, at] : {std::pair{QEvent::MouseButtonPress, QPoint(120, 100)},
                          {QEvent::MouseMove, QPoint(300, 100)}, {QEvent::MouseButtonRelease, QPoint(300, 100)}}) {
    QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"down 1 13", "move 1 0", "up 0 0"}));
  widget.SetView(nullptr);
}

}  // namespace
