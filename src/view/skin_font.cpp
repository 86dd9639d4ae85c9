#include "view/skin_font.h"

#include <algorithm>

#include "audio/mul_div_round.h"

namespace view {

QFont CreateSkinFont(const QString& face, int points, int weight) {
  QFont font(face);
  font.setPixelSize(std::max(1, audio::MulDivRound(points, 90, 72)));
  // 0 leaves the choice to the font, as for the handheld's fonts.
  font.setWeight(static_cast<QFont::Weight>(weight <= 0 ? 400 : std::min(weight, 1000)));
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

}  // namespace view
