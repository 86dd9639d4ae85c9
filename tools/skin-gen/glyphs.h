#pragma once

// Vector glyphs for the buttons, icons and tool strip.

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>

#include "skin_layout.h"

namespace skingen {

// The outline of a transport glyph of height `size` centred on `centre`.
// Record (a dot) is not a plain shape and gives an empty path.
QPainterPath glyphPath(Glyph glyph, QPointF centre, double size);

// A button glyph: the shape with a soft shadow beneath it. Record and the
// record-pause face are drawn red, the rest in `colour`.
void drawButtonGlyph(QPainter& p, Glyph glyph, QPointF centre, double size, const QColor& colour, bool lit);

// A head in profile facing right with sound waves from the mouth, fitted into
// `box` (aspect 22 : 20).
void drawSpeakingHead(QPainter& p, const QRectF& box, const QColor& head, const QColor& waves, double waveWidth);

// The head alone, 22 x 20 units.
QPainterPath speakingHeadPath();

// A loudspeaker with `waves` arcs (0 draws a cross for muted) in `box`.
void drawSpeaker(QPainter& p, const QRectF& box, int waves, const QColor& colour, const QColor& muteColour);

// A red record dot with a highlight.
void drawRecordDot(QPainter& p, QPointF centre, double radius, bool lit);

}  // namespace skingen
