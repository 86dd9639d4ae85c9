#include "icon_painter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "glyphs.h"
#include "paint_utils.h"
#include "palette.h"

namespace skingen {
namespace {

constexpr int kStatus = 10;
constexpr int kTool = 16;
constexpr int kKey = 16;

QImage strip(int cell, int count) { return newLayer(cell * count, cell); }

QPainterPath arrowHead(QPointF tip, double angleDeg, double size) {
  const double a = angleDeg * M_PI / 180.0;
  const QPointF dir(std::cos(a), std::sin(a));
  const QPointF normal(-dir.y(), dir.x());
  QPainterPath path;
  path.moveTo(tip);
  path.lineTo(tip - dir * size + normal * size * 0.6);
  path.lineTo(tip - dir * size - normal * size * 0.6);
  path.closeSubpath();
  return path;
}

// The repeat sign, drawn pixel by pixel so it stays crisp at 16 x 16: an
// arrow running up and right over the top, another down and left along the
// bottom.
void drawRepeat(QPainter& p, const QColor& colour) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  auto px = [&](int x, int y, int w, int h) { p.fillRect(QRect(x, y, w, h), colour); };
  px(2, 5, 2, 4);   // left side
  px(3, 4, 1, 1);   // rounded corner
  px(4, 3, 7, 2);   // top
  px(11, 1, 1, 6);  // head pointing right
  px(12, 2, 1, 4);
  px(13, 3, 1, 2);
  px(12, 7, 2, 4);  // right side
  px(12, 11, 1, 1);
  px(5, 11, 7, 2);  // bottom
  px(4, 9, 1, 6);   // head pointing left
  px(3, 10, 1, 4);
  px(2, 11, 1, 2);
  p.restore();
}

void drawListLines(QPainter& p, QRectF box, const QColor& colour) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < 3; ++i) {
    const int y = int(box.top()) + i * 4;
    p.fillRect(QRect(int(box.left()), y, 2, 2), colour);
    p.fillRect(QRect(int(box.left()) + 3, y, int(box.width()) - 3, 2), colour);
  }
  p.restore();
}

void drawSmallPlay(QPainter& p, QRectF box, const QColor& colour) {
  QPainterPath t;
  t.moveTo(box.left(), box.top());
  t.lineTo(box.right(), box.center().y());
  t.lineTo(box.left(), box.bottom());
  t.closeSubpath();
  p.fillPath(t, colour);
}

void drawDigitOne(QPainter& p, QRectF box, const QFont& font, const QColor& colour) {
  p.save();
  p.setFont(font);
  p.setPen(colour);
  p.drawText(box, Qt::AlignCenter, QStringLiteral("1"));
  p.restore();
}

// A rounded key cap for the hardware-key icons.
void drawKeyCap(QPainter& p, QRectF r, double radius) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, QColor(104, 110, 120));
  g.setColorAt(1, QColor(44, 47, 53));
  p.setPen(QPen(QColor(22, 24, 28), 1));
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
}

// The direction pad with one part lit: 0 up, 1 down, 2 left, 3 right, 4 centre.
void drawPad(QPainter& p, int lit) {
  const QPointF c(8, 8);
  QRadialGradient g(c - QPointF(2, 3), 9);
  g.setColorAt(0, QColor(120, 126, 136));
  g.setColorAt(1, QColor(44, 47, 53));
  p.setPen(QPen(QColor(22, 24, 28), 1));
  p.setBrush(g);
  p.drawEllipse(c, 7.3, 7.3);
  const double angles[4] = {-90, 90, 180, 0};
  for (int i = 0; i < 4; ++i) {
    const double a = angles[i] * M_PI / 180.0;
    const QPointF tip = c + QPointF(std::cos(a), std::sin(a)) * 6.2;
    const QColor colour = i == lit ? palette::kLitGreen : QColor(150, 156, 164);
    p.setPen(Qt::NoPen);
    p.fillPath(arrowHead(tip, angles[i], i == lit ? 3.6 : 2.6), colour);
  }
  p.setPen(QPen(QColor(22, 24, 28), 0.8));
  p.setBrush(lit == 4 ? palette::kLitGreen : QColor(88, 93, 101));
  p.drawEllipse(c, lit == 4 ? 2.6 : 2.0, lit == 4 ? 2.6 : 2.0);
}

}  // namespace

QImage statusIcons() {
  QImage layer = strip(kStatus, 6);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  // 0 recording: red dot.
  drawRecordDot(p, QPointF(5, 5), 4.0, true);
  // 1 playing: green triangle.
  {
    QPainterPath t;
    t.moveTo(11.5, 1);
    t.lineTo(19.5, 5);
    t.lineTo(11.5, 9);
    t.closeSubpath();
    p.fillPath(t, QColor(18, 150, 48));
    p.setPen(QPen(QColor(8, 80, 24), 0.8));
    p.drawPath(t);
    p.setPen(Qt::NoPen);
  }
  // 2 stopped: square.
  p.fillRect(QRect(21, 1, 8, 8), palette::kInk);
  // 3 paused: two bars.
  p.fillRect(QRect(31, 1, 3, 8), palette::kInk);
  p.fillRect(QRect(36, 1, 3, 8), palette::kInk);
  // 4 and 5 scanning back and forward.
  p.fillPath(glyphPath(Glyph::Rewind, QPointF(45, 5), 7.2), palette::kInk);
  p.fillPath(glyphPath(Glyph::Forward, QPointF(55, 5), 7.2), palette::kInk);
  p.end();
  return colourKeyed(layer, palette::kLcd);
}

QImage toolStrip(const QFont& digitFont) {
  QImage layer = strip(kTool, 7);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  const QColor ink(40, 44, 50);

  // 0 file list: a folder.
  {
    QPainterPath back;
    back.addRoundedRect(QRectF(1.5, 3.5, 13, 10), 1.2, 1.2);
    back.addRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);
    p.setPen(QPen(QColor(138, 96, 14), 1));
    p.setBrush(QColor(232, 180, 60));
    p.drawPath(back.simplified());
    QLinearGradient g(0, 6, 0, 14);
    g.setColorAt(0, QColor(255, 222, 120));
    g.setColorAt(1, QColor(240, 186, 64));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 7), 1, 1);
  }
  // 1 voice activation: speaking head.
  {
    p.save();
    p.translate(16, 0);
    p.save();
    p.translate(0, 2.5);
    p.scale(0.56, 0.64);
    p.fillPath(speakingHeadPath(), ink);
    p.restore();
    p.setPen(QPen(QColor(24, 150, 52), 1.7, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QPointF mouth(8.6, 9.8);
    for (int i = 0; i < 2; ++i) {
      const double r = 3.0 + 2.8 * i;
      p.drawArc(QRectF(mouth.x() - r, mouth.y() - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
    }
    p.restore();
  }
  // 2 display off: a dark screen with a moon.
  {
    p.save();
    p.translate(32, 0);
    p.setPen(QPen(ink, 1));
    p.setBrush(QColor(20, 22, 26));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 9), 1, 1);
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(7, 12, 2, 2), ink);
    p.fillRect(QRectF(4, 14, 8, 1.5), ink);
    QPainterPath moon;
    moon.addEllipse(QPointF(8, 7), 3, 3);
    QPainterPath bite;
    bite.addEllipse(QPointF(9.6, 5.9), 2.6, 2.6);
    p.fillPath(moon.subtracted(bite), QColor(250, 226, 120));
    p.restore();
  }
  // 3..6 play modes 1..4: list once, list repeated, one file once, one file
  // repeated.
  const QColor go(24, 150, 52), loop(24, 120, 206);
  for (int mode = 1; mode <= 4; ++mode) {
    p.save();
    p.translate(kTool * (mode + 2), 0);
    switch (mode) {
      case 1:
        drawListLines(p, QRectF(0.5, 3, 8, 10), ink);
        drawSmallPlay(p, QRectF(10, 4, 5.5, 8), go);
        break;
      case 2:
        drawRepeat(p, loop);
        p.fillRect(QRect(6, 6, 4, 1), ink);
        p.fillRect(QRect(6, 8, 4, 1), ink);
        break;
      case 3:
        drawDigitOne(p, QRectF(0, 1, 8, 14), digitFont, ink);
        drawSmallPlay(p, QRectF(10, 4, 5.5, 8), go);
        break;
      case 4:
        drawRepeat(p, loop);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(7, 5, 2, 5), ink);
        p.fillRect(QRect(6, 6, 1, 1), ink);
        break;
    }
    p.restore();
  }
  p.end();
  return colourKeyed(layer, palette::kWindow);
}

QImage keyIcons() {
  QImage layer(kKey * 10, kKey, QImage::Format_ARGB32_Premultiplied);
  layer.fill(Qt::white);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (int i = 0; i < 5; ++i) {
    p.save();
    p.translate(kKey * i, 0);
    drawPad(p, i);
    p.restore();
  }
  const QColor glyph(236, 239, 242);
  for (int i = 5; i < 10; ++i) {
    p.save();
    p.translate(kKey * i, 0);
    drawKeyCap(p, QRectF(0.5, 0.5, 15, 15), 3.5);
    p.setPen(Qt::NoPen);
    switch (i) {
      case 5: {  // Notes: a page with lines.
        p.fillRect(QRectF(4, 3, 8, 10), glyph);
        for (int k = 0; k < 3; ++k) p.fillRect(QRectF(5, 5 + 2.5 * k, 6, 1), QColor(60, 64, 72));
        break;
      }
      case 6: {  // Contacts: a person.
        p.setBrush(glyph);
        p.drawEllipse(QPointF(8, 5.6), 2.4, 2.4);
        QPainterPath body;
        body.moveTo(3.5, 13);
        body.cubicTo(3.5, 9, 12.5, 9, 12.5, 13);
        body.closeSubpath();
        p.fillPath(body, glyph);
        break;
      }
      case 7: {  // Calendar: a sheet with a red header and a grid.
        p.fillRect(QRectF(3, 3.5, 10, 9.5), glyph);
        p.fillRect(QRectF(3, 3.5, 10, 2.5), QColor(210, 50, 44));
        for (int r = 0; r < 2; ++r)
          for (int c = 0; c < 3; ++c) p.fillRect(QRectF(4.5 + 3 * c, 7.5 + 2.5 * r, 1.6, 1.4), QColor(60, 64, 72));
        break;
      }
      case 8: {  // Task: a tick.
        QPen pen(palette::kLitGreen, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(4, 8.5);
        tick.lineTo(7, 11.5);
        tick.lineTo(12.2, 4.6);
        p.drawPath(tick);
        break;
      }
      case 9:  // Record: a red dot.
        drawRecordDot(p, QPointF(8, 8), 4.0, true);
        break;
    }
    p.restore();
  }
  p.end();
  return layer;
}

}  // namespace skingen
