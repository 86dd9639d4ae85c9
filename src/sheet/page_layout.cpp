#include "sheet/page_layout.h"

#include <algorithm>

#include <QFontMetrics>
#include <QLabel>

#include "view/skin_font.h"

namespace sheet {

namespace {

// Rounds to the nearest like the platform's MulDiv for non-negative values.
int Scale(int units, int numerator, int denominator) {
  return (units * numerator + denominator / 2) / denominator;
}

}  // namespace

int DialogX(int units) { return Scale(units, 6, 4); }
int DialogY(int units) { return Scale(units, 13, 8); }

QRect DialogRect(int x, int y, int width, int height) {
  return QRect(DialogX(x), DialogY(y), DialogX(width), DialogY(height));
}

QFont PageFont() { return view::CreateSkinFont(QStringLiteral("Arial"), 8, 400); }

void Place(QWidget* widget, int x, int y, int width, int height) {
  widget->setGeometry(DialogRect(x, y, width, height));
}

void PlaceLabel(QLabel* label, int x, int y, int width, int height, const QStringList& texts) {
  // What a page shows may come from a card's or a key's name: never markup.
  label->setTextFormat(Qt::PlainText);
  QRect rect = DialogRect(x, y, width, height);
  const QFontMetrics metrics(label->font());
  int needed = 0;
  for (const QString& text : texts.isEmpty() ? QStringList{label->text()} : texts) {
    needed = std::max(needed, metrics.horizontalAdvance(text) + 2 * label->frameWidth() + 1);
  }
  const int extra = needed - rect.width();
  if (extra > 0) {
    const Qt::Alignment horizontal = label->alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight) {
      rect.setLeft(std::max(0, rect.left() - extra));
    } else if (horizontal & Qt::AlignHCenter) {
      rect.adjust(-(extra + 1) / 2, 0, extra / 2, 0);
      if (rect.left() < 0) rect.moveLeft(0);
    } else {
      rect.setWidth(needed);
    }
  }
  label->setGeometry(rect);
}

}  // namespace sheet
