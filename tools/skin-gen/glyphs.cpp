#include "glyphs.h"

#include <QRadialGradient>
#include <cmath>

#include "paint_utils.h"
#include "palette.h"

namespace skingen {
namespace {

double snap(double v) { return std::round(v); }

QPainterPath triangleRight(double left, double width, double cy, double height) {
  QPainterPath path;
  path.moveTo(left, cy - height / 2);
  path.lineTo(left + width, cy);
  path.lineTo(left, cy + height / 2);
  path.closeSubpath();
  return path;
}

QPainterPath mirrored(const QPainterPath& path, double cx) {
  QTransform t;
  t.translate(2 * cx, 0);
  t.scale(-1, 1);
  return t.map(path);
}

QPainterPath pauseBars(double cx, double cy, double size) {
  const double w = std::max(2.0, snap(size * 0.3));
  const double gap = std::max(2.0, snap(size * 0.26));
  const double h = snap(size * 0.86);
  const double left = snap(cx - (2 * w + gap) / 2);
  const double top = snap(cy - h / 2);
  QPainterPath path;
  path.addRect(left, top, w, h);
  path.addRect(left + w + gap, top, w, h);
  return path;
}

}  // namespace

QPainterPath speakingHeadPath() {
  QPainterPath p;
  p.moveTo(3.0, 20.0);
  p.cubicTo(3.0, 16.5, 0.8, 14.5, 0.8, 9.5);
  p.cubicTo(0.8, 4.0, 4.8, 0.6, 9.4, 0.6);
  p.cubicTo(13.6, 0.6, 15.6, 3.4, 15.4, 6.8);
  p.lineTo(17.4, 10.4);
  p.lineTo(15.6, 11.0);
  p.lineTo(15.9, 12.3);
  p.lineTo(15.3, 12.8);
  p.lineTo(15.7, 13.9);
  p.cubicTo(15.7, 15.6, 13.6, 15.6, 11.6, 15.3);
  p.lineTo(11.6, 20.0);
  p.closeSubpath();
  return p;
}

QPainterPath glyphPath(Glyph glyph, QPointF centre, double size) {
  const double cx = centre.x(), cy = centre.y();
  QPainterPath path;
  switch (glyph) {
    case Glyph::Record:
    case Glyph::Vas:
      break;
    case Glyph::Play: {
      const double w = snap(size * 0.86);
      const double left = snap(cx - w / 2 + size * 0.1);
      path = triangleRight(left, w, cy, size);
      break;
    }
    case Glyph::Stop: {
      const double s = snap(size * 0.8);
      path.addRect(snap(cx - s / 2), snap(cy - s / 2), s, s);
      break;
    }
    case Glyph::Forward:
    case Glyph::Rewind: {
      const double tw = snap(size * 0.56);
      const double h = size * 0.8;
      const double left = snap(cx - tw);
      path = triangleRight(left, tw, cy, h).united(triangleRight(left + tw, tw, cy, h));
      if (glyph == Glyph::Rewind) path = mirrored(path, cx);
      break;
    }
    case Glyph::Next:
    case Glyph::Previous: {
      const double tw = snap(size * 0.44);
      const double bar = std::max(2.0, snap(size * 0.15));
      const double h = size * 0.76;
      const double left = snap(cx - (2 * tw + bar) / 2);
      path = triangleRight(left, tw, cy, h).united(triangleRight(left + tw, tw, cy, h));
      path.addRect(left + 2 * tw, snap(cy - h / 2), bar, snap(h));
      if (glyph == Glyph::Previous) path = mirrored(path, cx);
      break;
    }
    case Glyph::Pause:
    case Glyph::RecordPause:
      path = pauseBars(cx, cy, size);
      break;
    case Glyph::PlayPause: {
      const double tw = snap(size * 0.56);
      const double h = size * 0.8;
      const double bar = std::max(2.0, snap(size * 0.17));
      const double gap = std::max(1.0, snap(size * 0.14));
      const double total = tw + gap + bar + gap + bar;
      const double left = snap(cx - total / 2);
      path = triangleRight(left, tw, cy, h);
      const double barsLeft = left + tw + gap;
      path.addRect(barsLeft, snap(cy - h / 2), bar, snap(h));
      path.addRect(barsLeft + bar + gap, snap(cy - h / 2), bar, snap(h));
      break;
    }
  }
  path.setFillRule(Qt::WindingFill);
  return path;
}

void drawRecordDot(QPainter& p, QPointF centre, double radius, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 110));
  p.drawEllipse(centre + QPointF(0, 0.9), radius + 0.3, radius + 0.3);
  QRadialGradient g(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.5);
  const QColor base = lit ? QColor(255, 64, 52) : palette::kRecordRed;
  g.setColorAt(0, mix(base, Qt::white, 0.45));
  g.setColorAt(0.45, base);
  g.setColorAt(1, mix(base, Qt::black, 0.45));
  p.setBrush(g);
  p.drawEllipse(centre, radius, radius);
  p.restore();
}

void drawButtonGlyph(QPainter& p, Glyph glyph, QPointF centre, double size, const QColor& colour, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  if (glyph == Glyph::Record) {
    drawRecordDot(p, centre, size * 0.5, lit);
  } else if (glyph == Glyph::Vas) {
    const double w = size * 1.1;
    const QRectF box(centre.x() - w / 2 - size * 0.02, centre.y() - size / 2, w, size);
    p.translate(0, 0.9);
    drawSpeakingHead(p, box, QColor(0, 0, 0, 100), QColor(0, 0, 0, 100), 1.7);
    p.translate(0, -0.9);
    drawSpeakingHead(p, box, colour, lit ? palette::kLitGreen : colour, 1.7);
  } else {
    const QPainterPath path = glyphPath(glyph, centre, size);
    p.fillPath(path.translated(0, 1), QColor(0, 0, 0, 120));
    const QColor fill = glyph == Glyph::RecordPause ? (lit ? QColor(255, 70, 58) : palette::kRecordRed) : colour;
    QLinearGradient g(0, centre.y() - size / 2, 0, centre.y() + size / 2);
    g.setColorAt(0, mix(fill, Qt::white, 0.25));
    g.setColorAt(1, mix(fill, Qt::black, 0.12));
    p.fillPath(path, g);
  }
  p.restore();
}

void drawSpeakingHead(QPainter& p, const QRectF& box, const QColor& head, const QColor& waves, double waveWidth) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  const double s = std::min(box.width() / 22.0, box.height() / 20.0);
  p.translate(box.left() + (box.width() - 22 * s) / 2, box.top() + (box.height() - 20 * s) / 2);
  p.scale(s, s);
  p.setPen(Qt::NoPen);
  p.fillPath(speakingHeadPath(), head);
  QPen pen(waves, waveWidth / s, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  const QPointF mouth(15.0, 11.5);
  for (int i = 0; i < 2; ++i) {
    const double r = 3.6 + i * 3.2;
    p.drawArc(QRectF(mouth.x() - r, mouth.y() - r, 2 * r, 2 * r), -38 * 16, 76 * 16);
  }
  p.restore();
}

void drawSpeaker(QPainter& p, const QRectF& box, int waves, const QColor& colour, const QColor& muteColour) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  const double s = box.width() / 18.0;
  p.translate(box.topLeft());
  p.scale(s, s);
  QPainterPath body;
  body.moveTo(2, 7);
  body.lineTo(4.5, 7);
  body.lineTo(8, 4);
  body.lineTo(8, 14);
  body.lineTo(4.5, 11);
  body.lineTo(2, 11);
  body.closeSubpath();
  p.setPen(Qt::NoPen);
  p.fillPath(body, colour);
  if (waves == 0) {
    QPen pen(muteColour, 1.7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(10.5, 6.5), QPointF(15.5, 11.5));
    p.drawLine(QPointF(15.5, 6.5), QPointF(10.5, 11.5));
  } else {
    QPen pen(colour, 1.5, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < waves; ++i) {
      const double r = 3.2 + i * 2.6;
      p.drawArc(QRectF(7.6 - r, 9 - r, 2 * r, 2 * r), -48 * 16, 96 * 16);
    }
  }
  p.restore();
}

}  // namespace skingen
