#include <gtest/gtest.h>

#include "audio/app_flags.h"
#include "view/level_meter.h"
#include "view/pixel_checks.h"
#include "view/skin_button.h"
#include "view/skin_slider.h"
#include "view/synthetic_skin.h"

namespace {

using view_test::CountMismatches;
using view_test::ImagePixel;
using view_test::SkinPixel;

QImage MakeSkin() {
  QImage skin(240, 269, QImage::Format_RGB32);
  for (int y = 0; y < skin.height(); ++y)
    for (int x = 0; x < skin.width(); ++x) skin.setPixel(x, y, SkinPixel(x, y));
  return skin;
}

auto FromSkin() {
  return [](int x, int y) { return SkinPixel(x, y); };
}
auto Solid(int id) {
  return [id](int, int) { return ImagePixel(id, 0, 0); };
}

class SkinControls : public ::testing::Test {
 protected:
  view_test::SyntheticSkin images;
  QImage skin = MakeSkin();
  QImage back = MakeSkin();
};

// --- buttons --------------------------------------------------------------

TEST_F(SkinControls, ButtonHitTestIsTheRectangleWithoutItsLastRowAndColumnAndNeverWhenDisabled) {
  view::SkinButton b;
  ASSERT_TRUE(b.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  EXPECT_EQ(b.Right, 32);
  EXPECT_EQ(b.Bottom, 111);
  EXPECT_TRUE(b.HitTest(5, 84));
  EXPECT_TRUE(b.HitTest(31, 110));
  EXPECT_FALSE(b.HitTest(32, 100));
  EXPECT_FALSE(b.HitTest(20, 111));
  EXPECT_FALSE(b.HitTest(4, 100));

  b.Enabled = 0;
  EXPECT_FALSE(b.HitTest(10, 90));
  b.Press();
  EXPECT_EQ(b.Pressed, 0);
  EXPECT_FALSE(b.Draw(back, skin));
  EXPECT_EQ(CountMismatches(back, QRect(5, 84, 28, 28), FromSkin()), 0);
}

TEST_F(SkinControls, PressedButtonShowsItsPressedImageAndReleasedTheSkin) {
  view::SkinButton b;
  ASSERT_TRUE(b.Init(37, 81, 34, 34, 122, 121, view::PushButton, 11));
  EXPECT_FALSE(b.Draw(back, skin)) << "nothing to draw before a change";
  b.Press();
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), Solid(122)), 0);
  EXPECT_EQ(CountMismatches(back, QRect(36, 80, 36, 1), FromSkin()), 0) << "drew outside";
  EXPECT_FALSE(b.Draw(back, skin)) << "Dirty is cleared by drawing";
  b.Release();
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), FromSkin()), 0);
}

TEST_F(SkinControls, FacesDrawTheirOwnImagesAndEnabledStateShowsTheSkin) {
  view::SkinButton b;
  ASSERT_TRUE(b.Init(37, 81, 34, 34, 122, 121, view::PushButton, 11));
  ASSERT_TRUE(b.LoadButtonFaces(170, 171, 168, 169));
  b.Face = view::FaceActive;
  b.Dirty = 1;
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), Solid(170)), 0);
  b.Press();
  b.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), Solid(171)), 0);
  b.Face = view::FacePaused;
  b.Release();
  b.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), Solid(168)), 0);

  b.DrawEnabledState(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), FromSkin()), 0);
  EXPECT_EQ(b.Face, view::FacePaused) << "changes no flag";
  b.Enabled = 0;
  b.DrawEnabledState(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(37, 81, 34, 34), Solid(121)), 0);
}

TEST_F(SkinControls, LoadButtonFacesStopsAtTheFirstMissingImageKeepingEarlierOnes) {
  view::SkinButton b;
  ASSERT_TRUE(b.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  EXPECT_FALSE(b.LoadButtonFaces(172, 167, 0, 0));
  EXPECT_FALSE(b.Face2Normal.IsNull());
  EXPECT_FALSE(b.Face2Pressed.IsNull());
  EXPECT_TRUE(b.Face3Normal.IsNull());
  images.Remove(167);
  view::SkinButton c;
  ASSERT_TRUE(c.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  EXPECT_FALSE(c.LoadButtonFaces(172, 167, 168, 169));
  EXPECT_FALSE(c.Face2Normal.IsNull());
  EXPECT_TRUE(c.Face3Normal.IsNull()) << "stops at the first failure";
}

TEST_F(SkinControls, ToggleButtonStaysLitWhileOnAndPushButtonsIgnoreSetToggled) {
  view::SkinButton t;
  ASSERT_TRUE(t.Init(8, 128, 38, 38, 162, 161, view::ToggleButton, 17));
  t.Press();
  t.Release();
  EXPECT_EQ(t.Toggled, 1);
  EXPECT_EQ(t.Pressed, 1);
  t.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(8, 128, 38, 38), Solid(162)), 0);
  t.Press();
  EXPECT_EQ(t.Pressed, 1) << "lit while held";
  t.Release();
  EXPECT_EQ(t.Toggled, 0);
  EXPECT_EQ(t.Pressed, 0);
  t.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(8, 128, 38, 38), FromSkin()), 0);

  t.SetToggled(true);
  EXPECT_EQ(t.Pressed, 1);
  EXPECT_EQ(t.Dirty, 1);

  view::SkinButton p;
  ASSERT_TRUE(p.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  p.SetToggled(true);
  EXPECT_EQ(p.Toggled, 0);
  EXPECT_EQ(p.Pressed, 0);
  EXPECT_EQ(p.Dirty, 0);
}

// --- sliders --------------------------------------------------------------

struct Sliders : SkinControls {
  void SetUp() override {
    ASSERT_TRUE(volume.Init(223, 3, 10, 61, 13, 8, 112, 102, 40));
    ASSERT_TRUE(position.Init(29, 60, 179, 11, 0, 0, 0, 0, 41));
    ASSERT_TRUE(threshold.Init(57, 151, 173, 11, 10, 15, 158, 157, 42));
  }
  view::SkinSlider volume, position, threshold;
};

TEST_F(Sliders, PercentMapsToBothEndsOfEachTrack) {
  EXPECT_EQ(volume.Orientation, view::Vertical);
  EXPECT_EQ(threshold.Orientation, view::Horizontal);
  EXPECT_EQ(position.Plain, 1);
  EXPECT_EQ(volume.Bottom, 65);

  volume.SetPercent(100);
  ASSERT_TRUE(volume.Draw(back, skin));
  EXPECT_FLOAT_EQ(volume.Position, 3.0f);
  EXPECT_EQ(volume.SliderPercent(), 100);
  volume.SetPercent(0);
  volume.Draw(back, skin);
  EXPECT_FLOAT_EQ(volume.Position, 57.0f);
  EXPECT_EQ(volume.SliderPercent(), 0);
  volume.SetPercent(50);
  volume.Draw(back, skin);
  EXPECT_EQ(volume.SliderPercent(), 50);

  threshold.SetPercent(100);
  threshold.Draw(back, skin);
  EXPECT_FLOAT_EQ(threshold.Position, 221.0f) << "the thumb stops short of the track's end";
  EXPECT_EQ(threshold.SliderPercent(), 94);
  threshold.SetPercent(0);
  threshold.Draw(back, skin);
  EXPECT_EQ(threshold.SliderPercent(), 0);

  position.SetPercent(100);
  position.Draw(back, skin);
  EXPECT_EQ(position.SliderPercent(), 100);
  position.SetPercent(37);
  position.Draw(back, skin);
  EXPECT_EQ(position.SliderPercent(), 37);
}

TEST_F(Sliders, SliderPercentRoundsHalfUpInSinglePrecision) {
  // Track of 54 pixels: 1 pixel is 1.85 %.
  volume.Position = 56.0f;
  EXPECT_EQ(volume.SliderPercent(), 2);  // 1.85 → 2
  volume.Position = 30.0f;
  EXPECT_EQ(volume.SliderPercent(), 50);  // 27/54 = 50.0
  volume.Position = 56.5f;
  EXPECT_EQ(volume.SliderPercent(), 1);  // 0.93 rounds up
  volume.Position = 56.75f;
  EXPECT_EQ(volume.SliderPercent(), 0);  // 0.46 rounds down
}

TEST_F(Sliders, HitMarginIsFivePixelsOnEverySide) {
  // Volume: Left 223, Right 234, Top 3, Bottom 65.
  EXPECT_TRUE(volume.HitTest(218, 30));
  EXPECT_FALSE(volume.HitTest(217, 30));
  EXPECT_EQ(volume.KeepPosition, 1) << "a miss keeps the thumb where it is";
  EXPECT_TRUE(volume.HitTest(238, 30));
  EXPECT_FALSE(volume.HitTest(239, 30));
  EXPECT_TRUE(volume.HitTest(225, -2));
  EXPECT_FALSE(volume.HitTest(225, -3));
  EXPECT_TRUE(volume.HitTest(225, 69));
  EXPECT_FALSE(volume.HitTest(225, 70));
  EXPECT_TRUE(volume.HitTest(225, 40));
  EXPECT_EQ(volume.KeepPosition, 0);
  EXPECT_FLOAT_EQ(volume.Position, 40.0f) << "the thumb jumps to the pen";

  volume.Enabled = 0;
  EXPECT_FALSE(volume.HitTest(225, 40));
}

TEST_F(Sliders, ThumbCentresOnThePenAndStaysOnTheTrack) {
  ASSERT_TRUE(volume.HitTest(225, 30));
  volume.Press();
  volume.Draw(back, skin);
  EXPECT_FLOAT_EQ(volume.Position, 26.0f);  // centre on 30: 30 − 8/2
  ASSERT_TRUE(volume.HitTest(225, -1));
  volume.Press();
  volume.Draw(back, skin);
  EXPECT_FLOAT_EQ(volume.Position, 3.0f);
  EXPECT_EQ(volume.SliderPercent(), 100);
  ASSERT_TRUE(volume.HitTest(225, 68));
  volume.Press();
  volume.Draw(back, skin);
  EXPECT_FLOAT_EQ(volume.Position, 57.0f);

  ASSERT_TRUE(threshold.HitTest(100, 155));
  threshold.Press();
  threshold.Draw(back, skin);
  EXPECT_FLOAT_EQ(threshold.Position, 95.0f);  // 100 − 10/2
  ASSERT_TRUE(threshold.HitTest(235, 155));
  threshold.Press();
  threshold.Draw(back, skin);
  EXPECT_FLOAT_EQ(threshold.Position, 221.0f);

  ASSERT_TRUE(position.HitTest(100, 65));
  position.Press();
  position.Draw(back, skin);
  EXPECT_FLOAT_EQ(position.Position, 100.0f) << "no thumb, nothing to centre";
}

TEST_F(Sliders, VerticalSliderShowsFillBelowTheThumbAndRestoresAbove) {
  volume.SetPercent(0);
  volume.Draw(back, skin);
  volume.SetPercent(100);
  volume.Draw(back, skin);  // thumb at 3, fill from 3 to 64
  volume.SetPercent(50);    // (57 − 27) = 30
  volume.Draw(back, skin);
  const int n = 30;
  // Skin over the track above the thumb (the fill was there before).
  EXPECT_EQ(CountMismatches(back, QRect(223, 3, 10, n - 3), FromSkin()), 0);
  // Fill image rows below the thumb, from source row Height − (Bottom − n).
  const int first = 61 - (65 - n);
  EXPECT_EQ(CountMismatches(back, QRect(223, n + 8, 10, 61 - (first + 8)),
                            [&](int x, int y) { return ImagePixel(112, x - 223, y - n + first); }),
            0);
  // The thumb, with its magenta corner showing the skin (nothing under it there).
  EXPECT_EQ(CountMismatches(back, QRect(221, n, 12, 8),
                            [&](int x, int y) { return ImagePixel(102, x - 220, y - n); }),
            0);
  EXPECT_EQ(back.pixel(220, n) | 0xFF000000u, SkinPixel(220, n) | 0xFF000000u);
  // The overhang of the old thumb at the top is restored.
  EXPECT_EQ(CountMismatches(back, QRect(220, 3, 3, 8), FromSkin()), 0);
}

TEST_F(Sliders, HorizontalSliderShowsFillLeftOfTheThumbAndRestoresTheRest) {
  threshold.SetPercent(100);
  threshold.Draw(back, skin);  // thumb at 221
  threshold.SetPercent(50);    // 57 + 87 = 144
  threshold.Draw(back, skin);
  const int n = 144;
  EXPECT_EQ(CountMismatches(back, QRect(57, 151, n - 57 - 1, 11),
                            [](int x, int) { return ImagePixel(158, x - 57, 0); }),
            0);
  EXPECT_EQ(CountMismatches(back, QRect(n + 10, 147, 231 - n - 10, 15), FromSkin()), 0)
      << "old fill and thumb right of the new thumb are gone";
  EXPECT_EQ(CountMismatches(back, QRect(n + 1, 147, 9, 15),
                            [&](int x, int y) { return ImagePixel(157, x - n, y - 147); }),
            0);
}

TEST_F(Sliders, PlainSliderMovesOneRedLine) {
  position.SetPercent(0);
  position.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(29, 60, 1, 11), [](int, int) { return qRgb(255, 0, 0); }), 0);
  position.SetPercent(50);  // 29 + 180 × 0.5 = 119
  position.Draw(back, skin);
  EXPECT_EQ(CountMismatches(back, QRect(119, 60, 1, 11), [](int, int) { return qRgb(255, 0, 0); }), 0);
  EXPECT_EQ(CountMismatches(back, QRect(0, 0, 240, 269),
                            [](int x, int y) {
                              return x == 119 && y >= 60 && y < 71 ? qRgb(255, 0, 0) : SkinPixel(x, y);
                            }),
            0)
      << "the old line is restored and nothing else changed";
}

// --- level meter ----------------------------------------------------------

struct Meter : SkinControls {
  void SetUp() override {
    ASSERT_TRUE(meter.Init(4, 3, 11, 75, 143, 50));
    mono = {1, 1, 8000, 16000, 2, 16, 0};
    stereo = {1, 2, 8000, 32000, 4, 16, 0};
    audio::VasEnabled = 0;
  }
  void TearDown() override { audio::VasEnabled = 0; }
  // Back pixel of the meter image row that lands at y for a column of d rows.
  static QRgb MeterRow(int y, int d) { return ImagePixel(143, 0, y - (78 - d) + (75 - d)); }
  int LitRows(int x) const {
    int rows = 0;
    for (int y = 3; y <= 77; ++y)
      if ((back.pixel(x, y) | 0xFF000000u) != (SkinPixel(x, y) | 0xFF000000u)) ++rows;
    return rows;
  }
  void DrawLevel(uint16_t level) {
    meter.Level = level;
    meter.Dirty = true;
    ASSERT_TRUE(meter.Draw(back, skin));
  }
  view::LevelMeter meter;
  audio::WaveFormatEx mono{}, stereo{};
};

TEST_F(Meter, StartsDisabledAndADisabledMeterErasesEveryTime) {
  EXPECT_EQ(meter.Enabled, 0);
  EXPECT_FALSE(meter.HitTest(5, 10));
  back.fill(Qt::black);
  meter.Level = 55;
  meter.AboveThreshold = true;
  EXPECT_TRUE(meter.Draw(back, skin)) << "reports a drawing without Dirty";
  EXPECT_EQ(meter.Level, 0);
  EXPECT_FALSE(meter.AboveThreshold);
  EXPECT_EQ(CountMismatches(back, QRect(4, 3, 11, 75), FromSkin()), 0);
  EXPECT_EQ(CountMismatches(back, QRect(57, 133, 167, 13), FromSkin()), 0);
  EXPECT_EQ(back.pixel(15, 3) | 0xFF000000u, 0xFF000000u) << "only its own areas";
}

TEST_F(Meter, OneChannelDrawsTheSameHeightInBothColumnsAndLowersCleanly) {
  meter.MeterFormat = &mono;
  meter.Enabled = 1;
  EXPECT_FALSE(meter.Draw(back, skin)) << "nothing measured yet";
  DrawLevel(40);  // d = 30
  EXPECT_EQ(LitRows(4), 30);
  EXPECT_EQ(LitRows(12), 30);
  EXPECT_EQ(CountMismatches(back, QRect(4, 48, 3, 30), [](int, int y) { return MeterRow(y, 30); }), 0);
  EXPECT_EQ(CountMismatches(back, QRect(12, 48, 3, 30), [](int, int y) { return MeterRow(y, 30); }), 0);
  EXPECT_EQ(CountMismatches(back, QRect(57, 133, 167, 13), FromSkin()), 0) << "no bar without VAS";
  EXPECT_FALSE(meter.Dirty);

  DrawLevel(10);  // d = 8 (7.5 rounds up)
  EXPECT_EQ(LitRows(4), 8);
  EXPECT_EQ(LitRows(12), 8);
  DrawLevel(0);
  EXPECT_EQ(CountMismatches(back, QRect(4, 3, 11, 75), FromSkin()), 0);
}

TEST_F(Meter, VasBarFollowsTheLevelInBothRowsWhenVoiceActivationIsOn) {
  meter.MeterFormat = &mono;
  meter.Enabled = 1;
  audio::VasEnabled = 1;
  DrawLevel(40);  // e = 67
  for (int row : {133, 141}) {
    EXPECT_EQ(CountMismatches(back, QRect(57, row, 67, 3), [](int x, int) { return ImagePixel(163, x - 57, 0); }), 0);
    EXPECT_EQ(CountMismatches(back, QRect(124, row, 100, 3), FromSkin()), 0);
  }
  DrawLevel(20);  // e = 33: the bar shrinks and its old part is restored
  EXPECT_EQ(CountMismatches(back, QRect(90, 133, 134, 13), FromSkin()), 0);
  EXPECT_EQ(CountMismatches(back, QRect(57, 141, 33, 3), [](int x, int) { return ImagePixel(163, x - 57, 0); }), 0);
  DrawLevel(0);
  EXPECT_EQ(CountMismatches(back, QRect(57, 133, 167, 13), FromSkin()), 0);
}

TEST_F(Meter, TwoChannelsDrawIndependentColumnsAndNoBar) {
  meter.MeterFormat = &stereo;
  meter.Enabled = 1;
  audio::VasEnabled = 1;
  DrawLevel(static_cast<uint16_t>(80 << 8 | 20));  // left 15 rows, right 60
  EXPECT_EQ(LitRows(4), 15);
  EXPECT_EQ(LitRows(12), 60);
  EXPECT_EQ(CountMismatches(back, QRect(12, 18, 3, 60), [](int, int y) { return MeterRow(y, 60); }), 0);
  EXPECT_EQ(CountMismatches(back, QRect(57, 133, 167, 13), FromSkin()), 0);
  // The left column falls while the right one rises: the left must not keep its old rows.
  DrawLevel(static_cast<uint16_t>(90 << 8 | 4));
  EXPECT_EQ(LitRows(4), 3);
  EXPECT_EQ(LitRows(12), 68);
  DrawLevel(0);
  EXPECT_EQ(CountMismatches(back, QRect(4, 3, 11, 75), FromSkin()), 0);
}

TEST_F(Meter, UnknownChannelCountOrNoFormatDrawsNothingButConsumesTheLevel) {
  meter.Enabled = 1;
  DrawLevel(50);
  EXPECT_EQ(CountMismatches(back, QRect(4, 3, 11, 75), FromSkin()), 0);
  audio::WaveFormatEx six = {1, 6, 8000, 96000, 12, 16, 0};
  meter.MeterFormat = &six;
  DrawLevel(50);
  EXPECT_EQ(CountMismatches(back, QRect(4, 3, 11, 75), FromSkin()), 0);
  EXPECT_FALSE(meter.Dirty);
}

TEST_F(SkinControls, MissingImagesFailInit) {
  images.Remove(142);
  view::SkinButton b;
  EXPECT_FALSE(b.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  images.Remove(157);
  view::SkinSlider s;
  EXPECT_FALSE(s.Init(57, 151, 173, 11, 10, 15, 158, 157, 42));
  view::SkinSlider plain;
  EXPECT_TRUE(plain.Init(29, 60, 179, 11, 0, 0, 0, 0, 41)) << "a plain slider needs no image";
  images.Remove(163);
  view::LevelMeter m;
  EXPECT_FALSE(m.Init(4, 3, 11, 75, 143, 50));
}

}  // namespace
