#include "skin_painter.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "glyphs.h"
#include "paint_utils.h"
#include "palette.h"

namespace skingen {
namespace {

constexpr int kMeterDots = 25;
constexpr int kVasDots = 56;

// Lit dots are a little brighter in the middle, like small LEDs.
QColor ledShade(const QColor& c, int px, int py, int w, int h) {
  const bool edgeX = w > 2 && (px == 0 || px == w - 1);
  double f = 1.0;
  if (edgeX) f -= 0.14;
  if (h > 1) f -= 0.12 * py / double(h - 1);
  return mix(Qt::black, c, f);
}

void fillLed(QPainter& p, int x, int y, int w, int h, const QColor& c, bool lit) {
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) p.fillRect(QRect(x + px, y + py, 1, 1), lit ? ledShade(c, px, py, w, h) : c);
}

void drawMeterColumn(QPainter& p, int x, bool lit) {
  for (int k = 0; k < kMeterDots; ++k) {
    const double t = k / double(kMeterDots - 1);
    const int y = kMeterRect.bottom() - 1 - 3 * k;
    fillLed(p, x, y, kMeterColumnWidth, 2, lit ? meterColour(t) : unlitMeterColour(t), lit);
  }
}

void drawVasRow(QPainter& p, int y, bool lit) {
  for (int m = 0; m < kVasDots; ++m) {
    const double t = m / double(kVasDots - 1);
    fillLed(p, kVasBarLeft + 3 * m, y, 2, kVasBarHeight, lit ? meterColour(t) : unlitMeterColour(t), lit);
  }
}

// Volume wedge: segments of 2 rows, widening towards the top, right-aligned.
void drawVolumeWedge(QPainter& p, bool lit) {
  const QRect r = kVolumeFillRect;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    const int j = r.bottom() - y;
    if (j % 3 == 2) continue;
    const double t = j / double(r.height() - 1);
    const int w = int(std::lround(2 + (r.width() - 2) * t));
    const QColor c = lit ? mix(QColor(34, 148, 60), QColor(128, 246, 124), t) : palette::kUnlitSegment;
    p.fillRect(QRect(r.right() + 1 - w, y, w, 1), c);
    if (lit) p.fillRect(QRect(r.right() + 1 - w, y, 1, 1), mix(c, Qt::black, 0.2));
  }
}

// Threshold wedge: segments of 2 columns, growing to the right.
void drawThresholdWedge(QPainter& p, bool lit) {
  const QRect r = kThresholdFillRect;
  for (int x = r.left(); x <= r.right(); ++x) {
    const int j = x - r.left();
    if (j % 3 == 2) continue;
    const double t = j / double(r.width() - 1);
    const int h = int(std::lround(2 + (r.height() - 2) * t));
    const QColor c = lit ? mix(QColor(34, 148, 60), QColor(128, 246, 124), t) : palette::kUnlitSegment;
    p.fillRect(QRect(x, r.bottom() + 1 - h, 1, h), c);
    if (lit) p.fillRect(QRect(x, r.bottom() + 1 - h, 1, 1), mix(c, Qt::white, 0.25));
  }
}

QPainterPath badgePath() {
  QPainterPath path;
  path.addRoundedRect(QRectF(0.5, 0.5, kVolumeIconRect.width() - 1, kVolumeIconRect.height() - 1), 3.5, 3.5);
  return path;
}

void drawBadge(QPainter& p) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.translate(kVolumeIconRect.topLeft());
  QLinearGradient g(0, 0, 0, kVolumeIconRect.height());
  g.setColorAt(0, palette::kLcdShade);
  g.setColorAt(0.22, palette::kLcd);
  g.setColorAt(1, palette::kLcd);
  p.setBrush(g);
  p.setPen(QPen(palette::kRecessShadow, 1));
  p.drawPath(badgePath());
  p.restore();
}

void drawPositionTicks(QPainter& p) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  const int span = kPositionMaxX - kPositionMinX;
  // A groove for the play head to run along, and a tick every tenth.
  p.fillRect(QRect(kPositionMinX, kPositionTop + 4, span + 1, 1), palette::kLcdShade);
  p.fillRect(QRect(kPositionMinX, kPositionTop + 5, span + 1, 1), mix(palette::kLcdShade, palette::kLcd, 0.5));
  for (int k = 0; k <= 10; ++k) {
    const int x = kPositionMinX + int(std::lround(span * k / 10.0));
    const bool major = k % 5 == 0;
    const int h = major ? 5 : 3;
    p.fillRect(QRect(x, kPositionTop + kPositionHeight - h, 1, h), palette::kLcdTick);
  }
  for (int k = 0; k < 20; k += 2) {
    const int x = kPositionMinX + int(std::lround(span * (k + 1) / 20.0));
    p.fillRect(QRect(x, kPositionTop + kPositionHeight - 2, 1, 2), mix(palette::kLcdTick, palette::kLcd, 0.45));
  }
  p.restore();
}

void drawMeterScale(QPainter& p) {
  p.save();
  for (int k = 4; k < kMeterDots; k += 5) {
    const int y = kMeterRect.bottom() - 1 - 3 * k;
    p.fillRect(QRect(8, y, 3, 1), QColor(70, 75, 82));
  }
  p.restore();
}

void drawPlate(QPainter& p, const QRect& r) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  const QRectF f = QRectF(r).adjusted(0.5, 0.5, 0.5, 0.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 70));
  p.drawRoundedRect(f.translated(0, 1), 4, 4);
  QLinearGradient g(0, r.top(), 0, r.bottom());
  g.setColorAt(0, palette::kPlateTop);
  g.setColorAt(1, palette::kPlateBottom);
  p.setBrush(g);
  p.setPen(QPen(QColor(20, 22, 25), 1));
  p.drawRoundedRect(f.adjusted(0, 0, -1, -1), 4, 4);
  // Bright upper lip.
  p.setPen(QPen(QColor(255, 255, 255, 46), 1));
  p.drawLine(QPointF(r.left() + 4, r.top() + 1.5), QPointF(r.right() - 4, r.top() + 1.5));
  p.restore();
}

void drawSeparator(QPainter& p, int y) {
  p.save();
  QLinearGradient dark(0, 0, kSkinWidth, 0), light(0, 0, kSkinWidth, 0);
  dark.setColorAt(0, QColor(0, 0, 0, 0));
  dark.setColorAt(0.15, QColor(0, 0, 0, 110));
  dark.setColorAt(0.85, QColor(0, 0, 0, 110));
  dark.setColorAt(1, QColor(0, 0, 0, 0));
  light.setColorAt(0, QColor(255, 255, 255, 0));
  light.setColorAt(0.15, QColor(255, 255, 255, 36));
  light.setColorAt(0.85, QColor(255, 255, 255, 36));
  light.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(QRect(0, y, kSkinWidth, 1), dark);
  p.fillRect(QRect(0, y + 1, kSkinWidth, 1), light);
  p.restore();
}

// One round button on a transparent layer of its own size.
QImage buttonLayer(int size, Glyph face, ButtonLook look) {
  QImage layer = newLayer(size, size);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  const double c = size / 2.0;
  const double rRing = size / 2.0 - 1.5;
  const bool lit = look == ButtonLook::Pressed;

  QLinearGradient ring(0, c - rRing, 0, c + rRing);
  if (lit) {
    ring.setColorAt(0, QColor(176, 255, 178));
    ring.setColorAt(0.5, QColor(70, 220, 96));
    ring.setColorAt(1, QColor(22, 140, 52));
  } else {
    ring.setColorAt(0, QColor(176, 182, 192));
    ring.setColorAt(0.5, QColor(104, 109, 118));
    ring.setColorAt(1, QColor(46, 49, 55));
  }
  p.setBrush(ring);
  p.drawEllipse(QPointF(c, c), rRing, rRing);
  if (lit) {
    // Halo just outside the rim.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 240, 110, 90), 1.2));
    p.drawEllipse(QPointF(c, c), rRing + 0.7, rRing + 0.7);
    p.setPen(Qt::NoPen);
  }
  const double rGap = rRing - 1.6;
  p.setBrush(QColor(18, 20, 23));
  p.drawEllipse(QPointF(c, c), rGap, rGap);
  const double rFace = rGap - 0.7;
  QLinearGradient faceG(0, c - rFace, 0, c + rFace);
  if (lit) {
    faceG.setColorAt(0, QColor(34, 37, 42));
    faceG.setColorAt(1, QColor(70, 75, 82));
  } else {
    faceG.setColorAt(0, QColor(96, 101, 110));
    faceG.setColorAt(1, QColor(44, 47, 53));
  }
  p.setBrush(faceG);
  p.drawEllipse(QPointF(c, c), rFace, rFace);
  if (lit) {
    QRadialGradient glow(QPointF(c, c), rFace);
    glow.setColorAt(0.62, QColor(80, 235, 100, 0));
    glow.setColorAt(1, QColor(80, 235, 100, 120));
    p.setBrush(glow);
    p.drawEllipse(QPointF(c, c), rFace, rFace);
  } else {
    // Soft sheen over the upper half.
    QLinearGradient sheen(0, c - rFace, 0, c);
    sheen.setColorAt(0, QColor(255, 255, 255, 44));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(sheen);
    p.drawEllipse(QRectF(c - rFace * 0.86, c - rFace * 0.96, rFace * 1.72, rFace * 1.1));
  }

  double glyphSize = size * 0.4;
  if (face == Glyph::Vas) glyphSize = size * 0.5;
  if (face == Glyph::Play) glyphSize = size * 0.42;
  const QPointF centre(c, c + (lit ? 0.6 : 0.0));
  const QColor glyphColour = lit ? QColor(238, 255, 240) : palette::kGlyph;
  drawButtonGlyph(p, face, centre, glyphSize, glyphColour, lit);
  p.end();

  if (look == ButtonLook::Disabled) washOut(layer, QColor(66, 70, 76));
  return layer;
}

void drawButton(QPainter& p, const QPoint& at, int size, Glyph face, ButtonLook look) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  const double c = size / 2.0;
  // Drop shadow, kept inside the button's own square.
  QRadialGradient shadow(QPointF(at.x() + c, at.y() + c + 1.2), size / 2.0 - 0.2);
  shadow.setColorAt(0.8, QColor(0, 0, 0, 120));
  shadow.setColorAt(1, QColor(0, 0, 0, 0));
  p.setBrush(shadow);
  p.drawEllipse(QPointF(at.x() + c, at.y() + c + 1.2), size / 2.0 - 0.2, size / 2.0 - 1.2);
  p.drawImage(at, buttonLayer(size, face, look));
  p.restore();
}

}  // namespace

SkinPainter::SkinPainter(const QFont& regular, const QFont& bold) : regular_(regular), bold_(bold) {
  base_ = QImage(kSkinWidth, kSkinHeight, QImage::Format_ARGB32_Premultiplied);
  fillBrushedMetal(base_, base_.rect(), palette::kBodyTop, palette::kBodyBottom);
  {
    QPainter p(&base_);
    drawBackground(p);
  }
  skin_ = base_.copy();
  QPainter p(&skin_);
  for (const ButtonPlace& b : kButtons) drawButton(p, QPoint(b.left, b.top), b.size, b.glyph, ButtonLook::Normal);
}

void SkinPainter::drawBackground(QPainter& p) {
  // Top edge catches the light.
  p.fillRect(QRect(0, 0, kSkinWidth, 1), mix(palette::kBodyTop, Qt::white, 0.12));

  drawRecess(p, kMeterHousing, palette::kRecess);
  for (int x : kMeterColumnX) drawMeterColumn(p, x, false);
  drawMeterScale(p);

  drawLcdPanel(p, kTopPanel);
  drawLcdPanel(p, kTimePanel);
  drawLcdPanel(p, kFormatPanel);
  drawLcdPanel(p, kPositionTrack);
  drawPositionTicks(p);

  drawRecess(p, kVolumeRecess, palette::kRecess);
  drawVolumeWedge(p, false);
  drawBadge(p);

  drawSeparator(p, 117);

  drawPlate(p, kVasPlate);
  drawRecess(p, kVasRecess, palette::kRecess);
  for (int y : kVasBarRowY) drawVasRow(p, y, false);
  drawThresholdWedge(p, false);

  drawInfoText(p);
}

void SkinPainter::drawInfoText(QPainter& p) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  const QRectF f = QRectF(kInfoPanel).adjusted(0.5, 0.5, 0.5, 0.5);
  p.setPen(QPen(QColor(8, 9, 11), 1));
  QLinearGradient g(0, kInfoPanel.top(), 0, kInfoPanel.bottom());
  g.setColorAt(0, palette::kInfo);
  g.setColorAt(1, mix(palette::kInfo, Qt::black, 0.35));
  p.setBrush(g);
  p.drawRoundedRect(f.adjusted(0, 0, -1, -1), 4, 4);
  p.setPen(QPen(QColor(255, 255, 255, 30), 1));
  p.drawLine(QPointF(kInfoPanel.left() + 4, kInfoPanel.bottom() + 1.5),
             QPointF(kInfoPanel.right() - 4, kInfoPanel.bottom() + 1.5));

  // Heading and wrapped text, centred as one block in the panel.
  const QString heading = QStringLiteral("Voice Activation System (VAS)");
  const QString words = QStringLiteral(
      "With VAS on, only sound that reaches the threshold is recorded. "
      "Changing these settings can lose the silent parts of a recording. "
      "Tap the button at the left of the VAS panel again to switch VAS off.");
  const QRect area = kInfoPanel.adjusted(9, 6, -8, -6);
  const int gap = 5;
  const QRect headBox = QFontMetrics(bold_).boundingRect(area, Qt::AlignLeft | Qt::TextSingleLine, heading);
  const QRect bodyBox = QFontMetrics(regular_).boundingRect(area, Qt::AlignLeft | Qt::TextWordWrap, words);
  const int top = area.top() + (area.height() - headBox.height() - gap - bodyBox.height()) / 2;
  p.setFont(bold_);
  p.setPen(palette::kInfoHeading);
  p.drawText(QRect(area.left(), top, area.width(), headBox.height()), Qt::AlignLeft | Qt::TextSingleLine, heading);
  p.setPen(QPen(QColor(255, 255, 255, 28), 1));
  const int rule = top + headBox.height() + gap / 2;
  p.drawLine(QPointF(area.left(), rule + 0.5), QPointF(area.right(), rule + 0.5));
  p.setFont(regular_);
  p.setPen(palette::kInfoText);
  p.drawText(QRect(area.left(), top + headBox.height() + gap, area.width(), bodyBox.height()),
             Qt::AlignLeft | Qt::TextWordWrap, words);
  p.restore();
}

QImage SkinPainter::button(const ButtonPlace& place, Glyph face, ButtonLook look) const {
  const QRect r = buttonRect(place);
  QImage img = background(r);
  QPainter p(&img);
  drawButton(p, QPoint(0, 0), place.size, face, look);
  return img;
}

QImage SkinPainter::meterColumn() const {
  QImage lit = base_.copy();
  QPainter p(&lit);
  drawMeterColumn(p, kMeterColumnX[0], true);
  p.end();
  return lit.copy(kMeterColumnX[0], kMeterRect.top(), kMeterColumnWidth, kMeterRect.height());
}

QImage SkinPainter::vasBar() const {
  QImage lit = base_.copy();
  QPainter p(&lit);
  drawVasRow(p, kVasBarRowY[0], true);
  p.end();
  return lit.copy(kVasBarLeft, kVasBarRowY[0], kVasBarWidth, kVasBarHeight);
}

QImage SkinPainter::volumeFill() const {
  QImage lit = base_.copy();
  QPainter p(&lit);
  drawVolumeWedge(p, true);
  p.end();
  return lit.copy(kVolumeFillRect);
}

QImage SkinPainter::thresholdFill() const {
  QImage lit = base_.copy();
  QPainter p(&lit);
  drawThresholdWedge(p, true);
  p.end();
  return lit.copy(kThresholdFillRect);
}

namespace {

QLinearGradient silver(QPointF from, QPointF to) {
  QLinearGradient g(from, to);
  g.setColorAt(0, QColor(246, 248, 250));
  g.setColorAt(0.5, QColor(198, 203, 210));
  g.setColorAt(1, QColor(132, 138, 147));
  return g;
}

}  // namespace

QImage SkinPainter::volumeThumb() const {
  QImage layer = newLayer(kVolumeThumbW, kVolumeThumbH);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath path;
  path.moveTo(0.5, 4.0);
  path.lineTo(3.5, 0.5);
  path.lineTo(12.5, 0.5);
  path.lineTo(12.5, 7.5);
  path.lineTo(3.5, 7.5);
  path.closeSubpath();
  p.setPen(QPen(QColor(20, 22, 25), 1));
  p.setBrush(silver(QPointF(0, 0), QPointF(0, kVolumeThumbH)));
  p.drawPath(path);
  // Grip line marking the level.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(5, 3, 6, 1), QColor(70, 74, 80));
  p.fillRect(QRect(5, 4, 6, 1), QColor(250, 252, 255));
  p.end();
  return colourKeyed(layer, palette::kRecess);
}

QImage SkinPainter::thresholdThumb() const {
  QImage layer = newLayer(kThresholdThumbW, kThresholdThumbH);
  QPainter p(&layer);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath path;
  path.moveTo(5.0, 0.5);
  path.lineTo(9.5, 4.5);
  path.lineTo(9.5, 14.5);
  path.lineTo(0.5, 14.5);
  path.lineTo(0.5, 4.5);
  path.closeSubpath();
  p.setPen(QPen(QColor(20, 22, 25), 1));
  p.setBrush(silver(QPointF(0, 0), QPointF(kThresholdThumbW, 0)));
  p.drawPath(path);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(4, 6, 1, 6), QColor(70, 74, 80));
  p.fillRect(QRect(5, 6, 1, 6), QColor(250, 252, 255));
  p.end();
  return colourKeyed(layer, palette::kRecess);
}

QImage SkinPainter::volumeIcons() const {
  const int s = kVolumeIconRect.width();
  QImage strip(s * kVolumeIconCount, s, QImage::Format_ARGB32_Premultiplied);
  // Pixels the badge does not touch let the skin show through.
  QImage mask = newLayer(s, s);
  {
    QPainter m(&mask);
    m.setRenderHint(QPainter::Antialiasing, true);
    m.setPen(QPen(Qt::black, 1));
    m.setBrush(Qt::black);
    m.drawPath(badgePath());
  }
  for (int i = 0; i < kVolumeIconCount; ++i) {
    QImage icon = background(kVolumeIconRect);
    {
      QPainter p(&icon);
      drawSpeaker(p, QRectF(0, 0, s, s), i, palette::kInk, QColor(170, 24, 24));
    }
    for (int y = 0; y < s; ++y)
      for (int x = 0; x < s; ++x)
        if (qAlpha(mask.pixel(x, y)) == 0) icon.setPixelColor(x, y, palette::kMagenta);
    QPainter sp(&strip);
    sp.drawImage(i * s, 0, icon);
  }
  return strip;
}

}  // namespace skingen
