#include <gtest/gtest.h>

#include "audio/app_flags.h"
#include "view/level_meter.h"
#include "view/skin_button.h"
#include "view/skin_slider.h"
#include "view/synthetic_skin.h"

namespace {

using namespace view_test;

QImage MakeSkin() {
  QImage skin(240, 269, QImage::Format_RGB32);
  for (int y = 0; y < skin.height(); ++y)
    for (int x = 0; x < skin.width(); ++x) skin.setPixel(x, y, SkinPixel(x, y));
  return skin;
}

class SkinControls : public ::testing::Test {
 protected:
  SyntheticSkin images;
  QImage skin = MakeSkin();
  QImage back = MakeSkin();
  int Diff(const QRect& r, const PixelFn& expected) const { return CountMismatches(back, r, expected); }
};

// --- buttons --------------------------------------------------------------

TEST_F(SkinControls, ButtonHitsItsRectangleAndDrawsItsPressedFacesAndEnabledState) {
  const QRect r(37, 81, 34, 34);
  view::SkinButton b;
  ASSERT_TRUE(b.Init(37, 81, 34, 34, 122, 121, view::PushButton, 11));
  // The last row and column are outside.
  const struct { int x, y; bool hit; } cases[] = {
      {37, 81, true}, {69, 113, true}, {70, 100, false}, {50, 114, false}, {36, 100, false}};
  for (const auto& c : cases) EXPECT_EQ(b.HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;

  EXPECT_FALSE(b.Draw(back, skin)) << "nothing to draw before a change";
  b.Press();
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(Diff(r, Solid(122)), 0);
  EXPECT_EQ(Diff(QRect(36, 80, 36, 1), FromSkin()), 0) << "drew outside";
  EXPECT_FALSE(b.Draw(back, skin)) << "Dirty is cleared by drawing";
  b.Release();
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(Diff(r, FromSkin()), 0);

  ASSERT_TRUE(b.LoadButtonFaces(170, 171, 168, 169));
  b.Face = view::FaceActive;
  b.Dirty = 1;
  ASSERT_TRUE(b.Draw(back, skin));
  EXPECT_EQ(Diff(r, Solid(170)), 0);
  b.Press();
  b.Draw(back, skin);
  EXPECT_EQ(Diff(r, Solid(171)), 0);
  b.Face = view::FacePaused;
  b.Release();
  b.Draw(back, skin);
  EXPECT_EQ(Diff(r, Solid(168)), 0);

  b.DrawEnabledState(back, skin);
  EXPECT_EQ(Diff(r, FromSkin()), 0);
  EXPECT_EQ(b.Face, view::FacePaused) << "changes no flag";
  b.Enabled = 0;
  b.DrawEnabledState(back, skin);
  EXPECT_EQ(Diff(r, Solid(121)), 0);
  EXPECT_FALSE(b.HitTest(50, 90)) << "never when disabled";
}

TEST_F(SkinControls, LoadButtonFacesStopsAtTheFirstMissingImageKeepingEarlierOnes) {
  images.Remove(167);
  view::SkinButton b;
  ASSERT_TRUE(b.Init(5, 84, 28, 28, 140, 142, view::PushButton, 10));
  EXPECT_FALSE(b.LoadButtonFaces(172, 167, 168, 169));
  EXPECT_FALSE(b.Face2Normal.IsNull());
  EXPECT_TRUE(b.Face3Normal.IsNull()) << "stops at the first failure";
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

TEST_F(Sliders, PercentMapsOntoEachTrackAndBack) {
  const struct { view::SkinSlider* s; int percent; float position; int reading; } cases[] = {
      {&volume, 100, 3, 100},      {&volume, 0, 57, 0},         {&volume, 50, 30, 50},
      {&threshold, 100, 221, 94},  {&threshold, 0, -1, 0},      {&position, 100, -1, 100},
      {&position, 37, -1, 37},     {&position, 50, 119, 50},
  };
  for (const auto& c : cases) {
    c.s->SetPercent(c.percent);
    c.s->Draw(back, skin);
    if (c.position >= 0) {
      EXPECT_FLOAT_EQ(c.s->Position, c.position) << c.s->Id << " " << c.percent;
    }
    EXPECT_EQ(c.s->SliderPercent(), c.reading) << c.s->Id << " " << c.percent;
  }
  // Track of 54 pixels: rounded half up in single precision.
  const struct { float position; int reading; } rounding[] = {{56, 2}, {30, 50}, {56.5f, 1}, {56.75f, 0}};
  for (const auto& r : rounding) {
    volume.Position = r.position;
    EXPECT_EQ(volume.SliderPercent(), r.reading) << r.position;
  }
}

TEST_F(Sliders, HitMarginIsFivePixelsOnEverySideAndTheThumbCentresOnThePen) {
  // Volume: Left 223, Right 234, Top 3, Bottom 65.
  const struct { int x, y; bool hit; } margins[] = {
      {218, 30, true}, {217, 30, false}, {238, 30, true}, {239, 30, false},
      {225, -2, true}, {225, -3, false}, {225, 69, true}, {225, 70, false}};
  for (const auto& m : margins) {
    EXPECT_EQ(volume.HitTest(m.x, m.y), m.hit) << m.x << "," << m.y;
    EXPECT_EQ(volume.KeepPosition, m.hit ? 0 : 1) << "a miss keeps the thumb where it is";
  }

  const struct { view::SkinSlider* s; int x, y; float position; } pens[] = {
      {&volume, 225, 30, 26},       // 30 − 8/2
      {&volume, 225, -1, 3},        {&volume, 225, 68, 57},
      {&threshold, 100, 155, 95},   // 100 − 10/2
      {&threshold, 235, 155, 221},
      {&position, 100, 65, 100},    // no thumb, nothing to centre
  };
  for (const auto& p : pens) {
    ASSERT_TRUE(p.s->HitTest(p.x, p.y)) << p.x << "," << p.y;
    p.s->Press();
    p.s->Draw(back, skin);
    EXPECT_FLOAT_EQ(p.s->Position, p.position) << p.x << "," << p.y;
  }
  EXPECT_EQ(volume.SliderPercent(), 0);

  volume.Enabled = 0;
  EXPECT_FALSE(volume.HitTest(225, 40));
}

TEST_F(Sliders, ThumbsFillsAndTheLineRestoreWhatTheyLeave) {
  for (int percent : {0, 100, 50})
    for (view::SkinSlider* s : {&volume, &threshold, &position}) {
      s->SetPercent(percent);
      s->Draw(back, skin);
    }
  // At 50: the volume thumb at y 30 (57 − 27), the threshold thumb at x 144
  // (57 + 87) with its fill stopping a column short, the red line at x 119.
  // Thumbs keep a magenta top-left corner; the rest is the skin again.
  const auto expected = [](int x, int y) {
    if (y >= 30 && y < 38 && x >= 220 && x < 233 && !(x == 220 && y == 30)) return ImagePixel(102, 0, 0);
    if (x >= 223 && x < 233 && y >= 38 && y < 65) return ImagePixel(112, x - 223, y - 4);
    if (x >= 144 && x < 154 && y >= 147 && y < 162 && !(x == 144 && y == 147)) return ImagePixel(157, 0, 0);
    if (x >= 57 && x < 143 && y >= 151 && y < 162) return ImagePixel(158, x - 57, 0);
    if (x == 119 && y >= 60 && y < 71) return qRgb(255, 0, 0);
    return SkinPixel(x, y);
  };
  EXPECT_EQ(Diff(back.rect(), expected), 0);
}

// --- level meter ----------------------------------------------------------

struct Meter : SkinControls {
  void SetUp() override {
    ASSERT_TRUE(meter.Init(4, 3, 11, 75, 143, 50));
    audio::VasEnabled = 0;
  }
  void TearDown() override { audio::VasEnabled = 0; }
  void Enable(const audio::WaveFormatEx* format, bool vas) {
    audio::SetMeterFormat(meter, format);
    meter.Enabled = 1;
    audio::VasEnabled = vas;
  }
  // Compares the meter and bar areas with `left`/`right` lit rows in the
  // columns, `bar` columns of the bar in both dotted rows, and the skin
  // everywhere else.
  int Shown(int left, int right, int bar) const {
    const auto expected = [=](int x, int y) {
      const int rows = x >= 4 && x < 7 ? left : x >= 12 && x < 15 ? right : 0;
      if (y < 78 && y >= 78 - rows) return ImagePixel(143, 0, y - 3);
      const bool barRow = (y >= 133 && y < 136) || (y >= 141 && y < 144);
      if (barRow && x >= 57 && x < 57 + bar) return ImagePixel(163, x - 57, 0);
      return SkinPixel(x, y);
    };
    return Diff(QRect(4, 3, 11, 75), expected) + Diff(QRect(57, 133, 167, 13), expected);
  }
  void DrawLevel(uint16_t level) {
    meter.Level = level;
    meter.Dirty = true;
    ASSERT_TRUE(meter.Draw(back, skin));
  }
  view::LevelMeter meter;
  const audio::WaveFormatEx mono{1, 1, 8000, 16000, 2, 16, 0};
  const audio::WaveFormatEx stereo{1, 2, 8000, 32000, 4, 16, 0};
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
  EXPECT_EQ(Shown(0, 0, 0), 0);
  EXPECT_EQ(back.pixel(15, 3) | 0xFF000000u, 0xFF000000u) << "only its own areas";
}

TEST_F(Meter, ColumnsAndTheVasBarFollowTheLevelAndRestoreWhatTheyLeave) {
  Enable(&mono, false);
  EXPECT_FALSE(meter.Draw(back, skin)) << "nothing measured yet";
  const struct { const audio::WaveFormatEx* format; bool vas; int level, left, right, bar; } steps[] = {
      {&mono, false, 40, 30, 30, 0},  // no bar without voice activation
      {&mono, true, 40, 30, 30, 67},    {&mono, true, 20, 15, 15, 33},
      {&mono, true, 10, 8, 8, 17},      // 7.5 rows round up
      {&mono, true, 0, 0, 0, 0},
      {&stereo, true, 80 << 8 | 20, 15, 60, 0},  // two channels: no bar
      {&stereo, true, 90 << 8 | 4, 3, 68, 0},    // left falls while right rises
      {&stereo, true, 0, 0, 0, 0},
  };
  for (const auto& s : steps) {
    Enable(s.format, s.vas);
    DrawLevel(static_cast<uint16_t>(s.level));
    EXPECT_FALSE(meter.Dirty);
    EXPECT_EQ(Shown(s.left, s.right, s.bar), 0) << s.format->Channels << " channel(s), level " << s.level;
  }
}

TEST_F(Meter, UnknownChannelCountOrNoFormatDrawsNothingButConsumesTheLevel) {
  const audio::WaveFormatEx six = {1, 6, 8000, 96000, 12, 16, 0};
  for (const audio::WaveFormatEx* format : {static_cast<const audio::WaveFormatEx*>(nullptr), &six}) {
    Enable(format, false);
    DrawLevel(50);
    EXPECT_EQ(Diff(QRect(4, 3, 11, 75), FromSkin()), 0);
    EXPECT_FALSE(meter.Dirty);
  }
}

}  // namespace
