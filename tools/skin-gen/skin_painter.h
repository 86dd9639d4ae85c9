#pragma once

// Draws the skin (bitmap 104) and every image that is cut from it: button
// faces in their pressed and disabled looks, lit meter dots, slider fills and
// thumbs, and the volume icons. Each control image is drawn on a copy of the
// same background and cut at the control's own rectangle, so it replaces
// exactly the skin pixels it covers.

#include <QFont>
#include <QImage>

#include "skin_layout.h"

namespace skingen {

enum class ButtonLook { Normal, Pressed, Disabled };

class SkinPainter {
 public:
  SkinPainter(const QFont& regular, const QFont& bold);

  QImage skin() const { return skin_; }
  QImage button(const ButtonPlace& place, Glyph face, ButtonLook look) const;
  QImage meterColumn() const;
  QImage vasBar() const;
  QImage volumeFill() const;
  QImage thresholdFill() const;
  QImage volumeThumb() const;
  QImage thresholdThumb() const;
  QImage volumeIcons() const;

 private:
  void drawBackground(QPainter& p);
  void drawInfoText(QPainter& p);
  QImage background(const QRect& area) const { return base_.copy(area); }

  QFont regular_, bold_;
  QImage base_;  // everything but the buttons
  QImage skin_;
};

}  // namespace skingen
