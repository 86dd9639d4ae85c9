#pragma once
// Rectangle comparisons for the back-buffer checks.

#include <functional>

#include <QImage>
#include <QRect>

namespace view_test {

// Number of pixels in rect of image that differ from expected(x, y), where
// x and y are image coordinates.
inline int CountMismatches(const QImage& image, const QRect& rect,
                           const std::function<QRgb(int, int)>& expected) {
  int mismatches = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if ((image.pixel(x, y) | 0xFF000000u) != (expected(x, y) | 0xFF000000u)) ++mismatches;
  return mismatches;
}

}  // namespace view_test
