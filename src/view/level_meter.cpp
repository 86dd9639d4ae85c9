#include "view/level_meter.h"

#include <algorithm>

#include "audio/app_flags.h"
#include "audio/mul_div_round.h"

namespace view {
namespace {

constexpr int kBarImage = 163;

}  // namespace

LevelMeter::~LevelMeter() { LevelMeter::FreeImages(); }

bool LevelMeter::Init(int left, int top, int width, int height, int image, int id) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Right = left + width - 1;
  Bottom = top + height - 1;
  Enabled = 0;
  Dirty = false;
  AboveThreshold = false;
  Level = 0;
  Threshold = 0;
  DrawnBarHeight = DrawnBarWidth = DrawnLeftHeight = DrawnRightHeight = 0;
  drawnChannels_ = 0;
  barShown_ = false;
  BarChanged = false;
  audio::SetMeterFormat(*this, nullptr);
  if (!Image.Load(nullptr, image)) return false;
  if (!BarImages.Create(kBarImage, kBarWidth, false)) return false;
  Id = static_cast<uint16_t>(id);
  return true;
}

void LevelMeter::FreeImages() {
  SkinControl::FreeImages();
  BarImages.Destroy();
}

bool LevelMeter::HitTest(int, int) { return false; }

void LevelMeter::DrawColumn(QImage& back, int x, int rows) {
  CopyRect(back, x, Bottom + 1 - rows, Image.Image, 0, Height - rows, 3, rows);
}

bool LevelMeter::Draw(QImage& back, const QImage& skin) {
  if (!Enabled) {
    CopyRect(back, Left, Top, skin, Left, Top, Width, Height);
    CopyRect(back, kBarLeft, kBarTop, skin, kBarLeft, kBarTop, kBarWidth, kBarHeight);
    Level = 0;
    AboveThreshold = false;
    DrawnBarHeight = DrawnBarWidth = DrawnLeftHeight = DrawnRightHeight = 0;
    drawnChannels_ = 0;
    barShown_ = false;
    BarChanged = true;
    return true;
  }
  BarChanged = false;
  if (!Dirty) return false;
  const int channels = MeterChannels.load();
  const int level = Level.load();
  const bool vas = audio::VasEnabled.load() != 0;
  if (channels == 1) {
    const int d = audio::MulDivRound(Height, level, 100);
    int e = audio::MulDivRound(kBarWidth, level, 100);
    if (e == 0) e = -1;
    Dirty = false;
    const bool sameKind = drawnChannels_ == 1 && vas == drawnVas_;
    if (sameKind && d == DrawnBarHeight && e == DrawnBarWidth) return false;
    // Without VAS the bar's rows change only when a bar left from before
    // is erased.
    BarChanged = (vas || barShown_) && (!sameKind || e != DrawnBarWidth);
    drawnChannels_ = 1;
    drawnVas_ = vas;
    if (d < DrawnBarHeight) CopyRect(back, Left, Top, skin, Left, Top, Width, Height);
    if (e < DrawnBarWidth) {
      CopyRect(back, kBarLeft, kBarTop, skin, kBarLeft, kBarTop, kBarWidth, kBarHeight);
      barShown_ = false;
    }
    DrawColumn(back, Left, d);
    DrawColumn(back, Left + kRightColumnOffset, d);
    if (vas && e > 0) {
      BarImages.Draw(back, 0, kBarLeft, kBarTop, e);
      BarImages.Draw(back, 0, kBarLeft, kBarTop + kBarRowGap, e);
      barShown_ = true;
    }
    DrawnBarWidth = e;
    DrawnBarHeight = d;
    DrawnLeftHeight = DrawnRightHeight = d;
  } else if (channels == 2) {
    const int d = audio::MulDivRound(Height, level & 0xFF, 100);
    const int e = audio::MulDivRound(Height, (level >> 8) & 0xFF, 100);
    Dirty = false;
    if (drawnChannels_ == 2 && d == DrawnLeftHeight && e == DrawnRightHeight) return false;
    drawnChannels_ = 2;
    if (std::max(d, e) < DrawnBarHeight || d < DrawnLeftHeight || e < DrawnRightHeight)
      CopyRect(back, Left, Top, skin, Left, Top, Width, Height);
    DrawColumn(back, Left, d);
    DrawColumn(back, Left + kRightColumnOffset, e);
    DrawnBarHeight = std::max(d, e);
    DrawnLeftHeight = d;
    DrawnRightHeight = e;
  }
  Dirty = false;
  return true;
}

}  // namespace view
