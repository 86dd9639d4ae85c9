#pragma once
// The off-screen bitmaps the view draws with: the skin, its working copy and
// every control image, kept in the screen's pixel format so that drawing is a
// plain copy of rectangles.

#include <cstdint>

#include <QImage>

class QWidget;

namespace view {

class ScreenBitmap {
 public:
  // Frees what it holds and loads image id; false when the image can't be
  // loaded. The window is only the owner the bitmap is made for.
  bool Load(QWidget* window, int id);
  void Free();
  bool IsNull() const { return Image.isNull(); }

  QImage Image;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Copies the w × h rectangle of src at (sx, sy) to (dx, dy) in dst, clipped
// to both images. Both images must share one 32-bit format.
void CopyRect(QImage& dst, int dx, int dy, const QImage& src, int sx, int sy, int w, int h);

// Fills the w × h rectangle at (x, y) of dst with one colour, clipped.
void FillRect(QImage& dst, int x, int y, int w, int h, QRgb colour);

}  // namespace view
