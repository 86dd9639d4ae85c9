#pragma once
// A complete set of view images in a temporary folder, each a known pattern,
// so that pixel checks can tell exactly which image a rectangle came from.

#include <functional>

#include <QImage>
#include <QTemporaryDir>

#include "support/pixel_match.h"

namespace view_test {

// The skin's pattern no control image uses; a solid colour per image id, except
// the meter column, fills and bar, which vary along their length; a colour per
// icon of a strip (159, 160), whose top-left corners are magenta as a thumb's.
QRgb SkinPixel(int x, int y);
QRgb ImagePixel(int id, int x, int y);
QRgb IconPixel(int id, int index);

using PixelFn = std::function<QRgb(int, int)>;
inline PixelFn Solid(int id) { return [id](int, int) { return ImagePixel(id, 0, 0); }; }

// Pixels in rect that differ from expected(x, y) by more than a pixel match
// allows (opaque images: alpha is not compared).
inline int CountMismatches(const QImage& image, const QRect& rect, const PixelFn& expected) {
  int mismatches = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (!testsupport::PixelsClose(image.pixel(x, y) | 0xFF000000u, expected(x, y) | 0xFF000000u)) ++mismatches;
  return mismatches;
}

class SyntheticSkin {
 public:
  // Writes every image and points the view's lookup at the folder.
  SyntheticSkin();
  ~SyntheticSkin();
  void Remove(int id);

 private:
  QTemporaryDir dir_;
};

}  // namespace view_test
