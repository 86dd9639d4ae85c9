#pragma once

// Small drawing helpers shared by the painters.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

namespace skingen {

// A fresh transparent ARGB image for drawing.
QImage newLayer(int width, int height);

// Deterministic brushed graphite between two colours, top to bottom.
void fillBrushedMetal(QImage& image, const QRect& area, const QColor& top, const QColor& bottom);

// A panel sunk into the body: dark upper-left edge, light lower-right edge,
// the given flat fill inside. `outer` is inclusive.
void drawRecess(QPainter& p, const QRect& outer, const QColor& fill);

// A light LCD panel with a soft shade along its upper inner edge.
void drawLcdPanel(QPainter& p, const QRect& outer);

// Colour `c` blended towards `d` by t (0..1).
QColor mix(const QColor& c, const QColor& d, double t);

// Hue-graded lit-dot colour: t = 0 green ... 1 red.
QColor meterColour(double t);
// The same scale, dimmed to an unlit dot.
QColor unlitMeterColour(double t);

// Drops antialiased transparency for a colour-keyed image: pixels under half
// cover become magenta, the rest are blended over `background`.
QImage colourKeyed(const QImage& layer, const QColor& background);

// Greys the layer and pulls it towards `mid`: the washed-out disabled look.
void washOut(QImage& layer, const QColor& mid);

// 24-bit copy for writing.
QImage toRgb(const QImage& image);

}  // namespace skingen
