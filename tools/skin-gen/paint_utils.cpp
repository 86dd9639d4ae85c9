#include "paint_utils.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "palette.h"

namespace skingen {
namespace {

// Integer hash to [0, 1): the brushing must look random but come out the
// same on every run.
double hashUnit(uint32_t a, uint32_t b) {
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return (h & 0xFFFFFF) / double(0x1000000);
}

// Smooth noise along x for one row: long horizontal streaks.
double streak(int x, int y) {
  const double fx = x / 19.0;
  const int i = int(std::floor(fx));
  const double f = fx - i;
  const double s = f * f * (3 - 2 * f);
  return hashUnit(i, y) * (1 - s) + hashUnit(i + 1, y) * s;
}

int clampByte(double v) { return std::clamp(int(std::lround(v)), 0, 255); }

}  // namespace

QImage newLayer(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QColor mix(const QColor& c, const QColor& d, double t) {
  return QColor(clampByte(c.red() + (d.red() - c.red()) * t), clampByte(c.green() + (d.green() - c.green()) * t),
                clampByte(c.blue() + (d.blue() - c.blue()) * t), clampByte(c.alpha() + (d.alpha() - c.alpha()) * t));
}

void fillBrushedMetal(QImage& image, const QRect& area, const QColor& top, const QColor& bottom) {
  const QRect r = area.intersected(image.rect());
  const int span = std::max(1, area.height() - 1);
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const QColor base = mix(top, bottom, double(y - area.top()) / span);
    const double row = (hashUnit(7, y) - 0.5) * 5.0;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = r.left(); x <= r.right(); ++x) {
      const double d = row + (streak(x, y) - 0.5) * 4.0 + (hashUnit(x, y) - 0.5) * 1.5;
      line[x] = qRgb(clampByte(base.red() + d), clampByte(base.green() + d), clampByte(base.blue() + d * 1.1));
    }
  }
}

void drawRecess(QPainter& p, const QRect& outer, const QColor& fill) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  const QRect r = outer;
  // Light lower-right lip, dark upper-left lip, then the floor.
  p.fillRect(r, palette::kRecessHighlight);
  p.fillRect(QRect(r.left(), r.top(), r.width() - 1, r.height() - 1), palette::kRecessShadow);
  p.fillRect(r.adjusted(1, 1, -1, -1), fill);
  // Soften the two far corners where the lips meet.
  const QColor corner = mix(palette::kRecessHighlight, palette::kRecessShadow, 0.5);
  p.fillRect(QRect(r.right(), r.top(), 1, 1), corner);
  p.fillRect(QRect(r.left(), r.bottom(), 1, 1), corner);
  p.restore();
}

void drawLcdPanel(QPainter& p, const QRect& outer) {
  drawRecess(p, outer, palette::kLcd);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  const QRect in = outer.adjusted(1, 1, -1, -1);
  p.fillRect(QRect(in.left(), in.top(), in.width(), 1), palette::kLcdShade);
  p.fillRect(QRect(in.left(), in.top() + 1, in.width(), 1), mix(palette::kLcdShade, palette::kLcd, 0.55));
  p.fillRect(QRect(in.left(), in.top() + 1, 1, in.height() - 1), mix(palette::kLcdShade, palette::kLcd, 0.35));
  p.restore();
}

QColor meterColour(double t) {
  t = std::clamp(t, 0.0, 1.0);
  double hue;
  if (t < 0.55)
    hue = 122 - 22 * (t / 0.55);
  else
    hue = 100 * (1 - (t - 0.55) / 0.45);
  return QColor::fromHsvF(float(hue / 360.0), 0.82f, 0.96f).toRgb();
}

QColor unlitMeterColour(double t) {
  const QColor lit = meterColour(t);
  return mix(palette::kRecess, lit, 0.2);
}

QImage colourKeyed(const QImage& layer, const QColor& background) {
  const QImage src = layer.convertToFormat(QImage::Format_ARGB32);
  QImage out(src.size(), QImage::Format_RGB888);
  for (int y = 0; y < src.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    for (int x = 0; x < src.width(); ++x) {
      const QRgb c = in[x];
      const int a = qAlpha(c);
      if (a < 128) {
        out.setPixelColor(x, y, palette::kMagenta);
        continue;
      }
      const double t = a / 255.0;
      QColor blended(clampByte(qRed(c) * t + background.red() * (1 - t)),
                     clampByte(qGreen(c) * t + background.green() * (1 - t)),
                     clampByte(qBlue(c) * t + background.blue() * (1 - t)));
      // A blend must never land on the key colour itself.
      if (blended == palette::kMagenta) blended = QColor(254, 0, 254);
      out.setPixelColor(x, y, blended);
    }
  }
  return out;
}

void washOut(QImage& layer, const QColor& mid) {
  QImage img = layer.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      const QRgb c = line[x];
      // Half brightness, half luminance: a red dot stays visible as a grey one.
      const double luma = 0.30 * qRed(c) + 0.59 * qGreen(c) + 0.11 * qBlue(c);
      const double grey = 0.5 * luma + 0.5 * std::max({qRed(c), qGreen(c), qBlue(c)});
      const double keep = 0.4;
      line[x] = qRgba(clampByte(grey * keep + mid.red() * (1 - keep)), clampByte(grey * keep + mid.green() * (1 - keep)),
                      clampByte(grey * keep + mid.blue() * (1 - keep)), qAlpha(c));
    }
  }
  layer = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage toRgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB888); }

}  // namespace skingen
