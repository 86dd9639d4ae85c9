#pragma once
// Placing controls at their dialog-template positions. Template units convert
// with the base units of the pages' 8-point font: 6 pixels per 4 horizontal
// units, 13 pixels per 8 vertical units, rounded to the nearest pixel.

#include <QFont>
#include <QRect>
#include <QStringList>

class QLabel;
class QWidget;

namespace sheet {

int DialogX(int units);
int DialogY(int units);
// x, y, width and height in template units, each converted on its own.
QRect DialogRect(int x, int y, int width, int height);

// The pages' font: "Arial" at 8 points.
QFont PageFont();

// Puts a widget at its template position.
void Place(QWidget* widget, int x, int y, int width, int height);
// Puts a label at its template position as plain text, widened (by its alignment: to the
// right, to the left or on both sides) when the widest of `texts` (its own
// text when none are given) would not fit in its font.
void PlaceLabel(QLabel* label, int x, int y, int width, int height, const QStringList& texts = {});

}  // namespace sheet
