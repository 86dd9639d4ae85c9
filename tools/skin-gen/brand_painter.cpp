#include "brand_painter.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "glyphs.h"
#include "paint_utils.h"
#include "palette.h"

namespace skingen {
namespace {

// A studio microphone in a 100 x 100 box.
void drawMicrophone(QPainter& p, double lineScale) {
  p.save();
  QLinearGradient metal(36, 0, 64, 0);
  metal.setColorAt(0, QColor(150, 156, 166));
  metal.setColorAt(0.35, QColor(250, 251, 253));
  metal.setColorAt(1, QColor(128, 134, 144));
  // Capsule.
  p.setPen(QPen(QColor(24, 26, 30), 1.6 * lineScale));
  p.setBrush(metal);
  p.drawRoundedRect(QRectF(37, 12, 26, 46), 13, 13);
  // Grille.
  p.setPen(QPen(QColor(70, 75, 84), 2.2 * lineScale, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(42, 22 + 7 * i), QPointF(58, 22 + 7 * i));
  // Holder, stem and foot.
  QPen holder(QColor(226, 230, 236), 5.5, Qt::SolidLine, Qt::RoundCap);
  p.setPen(holder);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(28, 20, 44, 52), 180 * 16, 180 * 16);
  p.drawLine(QPointF(50, 72), QPointF(50, 84));
  p.drawLine(QPointF(38, 86), QPointF(62, 86));
  p.restore();
}

// The round badge: a lit green rim round a dark face with the microphone.
void drawBadge(QPainter& p, QPointF c, double r, double lineScale) {
  p.save();
  p.setPen(Qt::NoPen);
  QLinearGradient ring(0, c.y() - r, 0, c.y() + r);
  ring.setColorAt(0, QColor(176, 255, 178));
  ring.setColorAt(0.5, QColor(70, 220, 96));
  ring.setColorAt(1, QColor(22, 140, 52));
  p.setBrush(ring);
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(14, 16, 19));
  p.drawEllipse(c, r * 0.89, r * 0.89);
  QLinearGradient face(0, c.y() - r, 0, c.y() + r);
  face.setColorAt(0, QColor(92, 97, 106));
  face.setColorAt(1, QColor(34, 37, 42));
  p.setBrush(face);
  p.drawEllipse(c, r * 0.85, r * 0.85);
  p.translate(c.x() - r * 0.82, c.y() - r * 0.86);
  p.scale(r * 1.64 / 100.0, r * 1.64 / 100.0);
  drawMicrophone(p, lineScale);
  p.restore();
}

}  // namespace

QImage logo(const QFont& boldFont) {
  constexpr int kW = 77, kH = 38;
  QImage layer = newLayer(kW, kH);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  drawBadge(p, QPointF(15.5, 19), 15, 1.4);

  const QString name = QStringLiteral("Quillon");
  const double left = 33.5, room = kW - left - 1;
  QFont font = boldFont;
  for (int px = 16; px >= 9; --px) {
    font.setPixelSize(px);
    if (QFontMetricsF(font).horizontalAdvance(name) <= room) break;
  }
  const QFontMetricsF fm(font);
  const double baseline = 21.5;
  p.setFont(font);
  p.setPen(QColor(34, 38, 44));
  p.drawText(QPointF(left, baseline), name);

  // A short lit level scale under the name.
  p.setRenderHint(QPainter::Antialiasing, false);
  const int dots = int((fm.horizontalAdvance(name)) / 3);
  for (int i = 0; i < dots; ++i) {
    const double t = dots > 1 ? i / double(dots - 1) : 0;
    p.fillRect(QRect(int(left) + 1 + 3 * i, 26, 2, 3), mix(meterColour(t), Qt::black, 0.1));
  }
  p.end();
  return colourKeyed(layer, palette::kWindow);
}

QImage programIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  const double s = size / 256.0;
  p.scale(s, s);
  const double line = 1.0 / s;  // one device pixel
  // Graphite tile.
  const QRectF tile(10, 10, 236, 236);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 70));
  p.drawRoundedRect(tile.translated(0, 4), 50, 50);
  QLinearGradient body(0, tile.top(), 0, tile.bottom());
  body.setColorAt(0, QColor(88, 93, 102));
  body.setColorAt(1, QColor(30, 32, 37));
  p.setBrush(body);
  p.setPen(QPen(QColor(14, 15, 18), std::max(2.0, line)));
  p.drawRoundedRect(tile, 50, 50);
  p.setPen(QPen(QColor(255, 255, 255, 50), std::max(2.0, line)));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(tile.adjusted(4, 4, -4, -4), 46, 46);

  drawBadge(p, QPointF(128, 134), 92, 1.0);

  // Record dot, top right.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(14, 15, 18));
  p.drawEllipse(QPointF(202, 54), 30, 30);
  drawRecordDot(p, QPointF(202, 54), 24, true);
  p.end();
  return img;
}

}  // namespace skingen
