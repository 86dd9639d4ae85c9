#pragma once
// The one rule for comparing drawn pixels. Qt's raster engine may round
// anti-aliased edges a level or three differently on another CPU, so a match
// allows every channel a few levels and lets only a small share of the
// pixels differ at all; a changed drawing moves far more, or further.

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <cstdlib>

namespace testsupport {

inline constexpr int kPixelLevels = 4;          // per channel, alpha included
inline constexpr double kDifferingShare = 0.01;  // of the pixels compared

inline bool PixelsClose(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= kPixelLevels && std::abs(qGreen(a) - qGreen(b)) <= kPixelLevels &&
         std::abs(qBlue(a) - qBlue(b)) <= kPixelLevels && std::abs(qAlpha(a) - qAlpha(b)) <= kPixelLevels;
}

inline ::testing::AssertionResult ImagesMatch(const QImage& actual, const QImage& expected) {
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << "sizes differ: " << actual.width() << "x" << actual.height() << " and "
                                         << expected.width() << "x" << expected.height();
  const QImage a = actual.convertToFormat(QImage::Format_ARGB32), e = expected.convertToFormat(QImage::Format_ARGB32);
  int differing = 0, far = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == e.pixel(x, y)) continue;
      ++differing;
      if (PixelsClose(a.pixel(x, y), e.pixel(x, y))) continue;
      if (far++ == 0) firstX = x, firstY = y;
    }
  const int allowed = static_cast<int>(a.width() * a.height() * kDifferingShare);
  if (far == 0 && differing <= allowed) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << differing << " pixels differ (" << allowed << " allowed), " << far
                                               << " by more than " << kPixelLevels << " levels";
  if (far > 0) {
    const auto hex = [](QRgb c) { return QString::number(c, 16).toStdString(); };
    failure << ", the first at " << firstX << "," << firstY << ": " << hex(a.pixel(firstX, firstY)) << " for "
            << hex(e.pixel(firstX, firstY));
  }
  return failure;
}

}  // namespace testsupport
