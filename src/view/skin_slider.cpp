#include "view/skin_slider.h"

#include <QPainter>

namespace view {
namespace {

constexpr QRgb kPlainLineColour = 0xFFFF0000u;

// Pixel position of a float position, rounded half up.
int Pixel(float position) { return static_cast<int>(static_cast<double>(position) + 0.5); }

}  // namespace

SkinSlider::~SkinSlider() { SkinSlider::FreeImages(); }

bool SkinSlider::Init(int left, int top, int width, int height, int thumbWidth, int thumbHeight,
                      int fillImage, int thumbImage, int id) {
  FreeImages();
  Orientation = height < width ? Horizontal : Vertical;
  Left = left;
  Top = top;
  Width = width;
  Height = height;
  Right = left + width + 1;
  Bottom = top + height + 1;
  ThumbWidth = thumbWidth;
  ThumbHeight = thumbHeight;
  Position = DrawnPosition = static_cast<float>(Orientation == Vertical ? Top : Right);
  Plain = 0;
  if (fillImage != 0) {
    if (!Image.Load(nullptr, fillImage)) return false;
    // A slider without its thumb could not be used, so a missing thumb fails too.
    if (!ThumbImages.Create(thumbImage, Orientation == Vertical ? 13 : 10, true)) return false;
  } else {
    Plain = 1;
  }
  Id = static_cast<uint16_t>(id);
  return true;
}

void SkinSlider::SetPercent(int percent) {
  const float p = static_cast<float>(percent);
  if (Orientation == Vertical) {
    const float bottom = static_cast<float>(Bottom - ThumbHeight);
    Position = bottom - static_cast<float>(Bottom - ThumbHeight - Top) * p * 0.01f;
  } else {
    Position = static_cast<float>(Left) + static_cast<float>(Right - Left) * p * 0.01f;
  }
  Dirty = 1;
  KeepPosition = 1;
  Pressed = 0;
}

int SkinSlider::SliderPercent() const {
  float percent;
  if (Orientation == Vertical) {
    const int span = Bottom - ThumbHeight - Top;
    if (span == 0) return 0;
    percent = 100.0f * (static_cast<float>(Bottom - ThumbHeight) - Position) / static_cast<float>(span);
  } else {
    const int span = Right - Left;
    if (span == 0) return 0;
    percent = 100.0f * (Position - static_cast<float>(Left)) / static_cast<float>(span);
  }
  return static_cast<int>(static_cast<double>(percent) + 0.5);
}

void SkinSlider::FreeImages() {
  SkinControl::FreeImages();
  ThumbImages.Destroy();
}

bool SkinSlider::HitTest(int x, int y) {
  if (!Enabled) return false;
  if (x < Left - kHitMargin || x >= Right + kHitMargin || y < Top - kHitMargin ||
      y >= Bottom + kHitMargin) {
    KeepPosition = 1;
    return false;
  }
  Position = static_cast<float>(Orientation == Vertical ? y : x);
  KeepPosition = 0;
  return true;
}

bool SkinSlider::Draw(QImage& back, const QImage& skin) {
  if (!Enabled || !Dirty) return false;
  if (Orientation == Vertical) {
    if (!KeepPosition) Position -= static_cast<float>(ThumbHeight / 2);
    const float low = static_cast<float>(Top), high = static_cast<float>(Bottom - ThumbHeight);
    if (Position < low) Position = low;
    if (Position > high) Position = high;
  } else {
    if (!KeepPosition) Position -= static_cast<float>(ThumbWidth / 2);
    const float low = static_cast<float>(Left), high = static_cast<float>(Right - ThumbWidth);
    if (Position < low) Position = low;
    if (Position > high) Position = high;
  }
  const int n = Pixel(Position);
  const int o = Pixel(DrawnPosition);
  if (Orientation == Vertical) {
    CopyRect(back, Left, o, skin, Left, o, Width, Bottom - o);
    CopyRect(back, Left - 3, o, skin, Left - 3, o, 3, ThumbHeight);
    CopyRect(back, Left, n, Image.Image, 0, Height - (Bottom - n), Width, Bottom - n);
    ThumbImages.Draw(back, 0, Left - 3, n);
  } else if (Plain) {
    CopyRect(back, o, Top, skin, o, Top, 1, Height);
    FillRect(back, n, Top, 1, Height, kPlainLineColour);
  } else {
    CopyRect(back, Left, Top, skin, Left, Top, o + ThumbWidth - Left, Height);
    CopyRect(back, o, Top - 4, skin, o, Top - 4, ThumbWidth, 4);
    CopyRect(back, Left, Top, Image.Image, 0, 0, n - Left - 1, Height);
    ThumbImages.Draw(back, 0, n, Top - 4);
  }
  Dirty = 0;
  DrawnPosition = Position;
  return true;
}

}  // namespace view
