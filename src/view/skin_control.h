#pragma once
// The common base of the bitmap controls drawn on the skin: a rectangle in
// skin pixels, its images, and the enabled/pressed/dirty flags. The view
// decides when a control draws; the control knows what to draw.

#include <atomic>
#include <cstdint>

#include "view/screen_bitmap.h"

namespace view {

class SkinControl {
 public:
  SkinControl() = default;
  virtual ~SkinControl();
  SkinControl(const SkinControl&) = delete;
  SkinControl& operator=(const SkinControl&) = delete;

  // Pressed and Dirty set when enabled.
  virtual void Press();
  // Pressed cleared and Dirty set when enabled.
  virtual void Release();
  virtual void FreeImages();
  virtual bool HitTest(int x, int y) = 0;
  // Draws into back (restoring from skin what it changes); true when it drew
  // something, so that the view repaints the control's rectangle.
  virtual bool Draw(QImage& back, const QImage& skin) = 0;

  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0, Width = 0, Height = 0;
  // The monitor thread reads and writes these too.
  std::atomic<int32_t> Enabled{1};
  std::atomic<int32_t> Pressed{0};
  std::atomic<int32_t> Dirty{0};
  ScreenBitmap Image;
  ScreenBitmap Image2;
  uint16_t Id = 0;
};

}  // namespace view
