#include "view/screen_bitmap.h"

#include <algorithm>
#include <cstring>

#include "view/skin_images.h"

namespace view {

bool ScreenBitmap::Load(QWidget* /*window*/, int id) {
  Free();
  QImage image;
  if (!LoadSkinImage(id, &image)) return false;
  Image = image;
  Width = image.width();
  Height = image.height();
  return true;
}

void ScreenBitmap::Free() {
  Image = QImage();
  Width = 0;
  Height = 0;
}

void CopyRect(QImage& dst, int dx, int dy, const QImage& src, int sx, int sy, int w, int h) {
  if (dst.isNull() || src.isNull() || w <= 0 || h <= 0) return;
  // Clip against the source, then the destination, moving both origins together.
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  w = std::min({w, src.width() - sx, dst.width() - dx});
  h = std::min({h, src.height() - sy, dst.height() - dy});
  if (w <= 0 || h <= 0) return;
  const size_t bytes = static_cast<size_t>(w) * 4;
  for (int row = 0; row < h; ++row) {
    const uchar* from = src.constScanLine(sy + row) + static_cast<size_t>(sx) * 4;
    uchar* to = dst.scanLine(dy + row) + static_cast<size_t>(dx) * 4;
    std::memmove(to, from, bytes);
  }
}

void FillRect(QImage& dst, int x, int y, int w, int h, QRgb colour) {
  const int left = std::max(x, 0), top = std::max(y, 0);
  const int right = std::min(x + w, dst.width()), bottom = std::min(y + h, dst.height());
  for (int row = top; row < bottom; ++row) {
    auto* line = reinterpret_cast<QRgb*>(dst.scanLine(row));
    std::fill(line + left, line + right, colour);
  }
}

}  // namespace view
