#pragma once
// Fonts for text drawn on the skin and on the settings pages, sized in points
// of the handheld's 90-dpi screen.

#include <QFont>
#include <QString>

namespace view {

// points → pixel height MulDivRound(points, 90, 72) (10 → 13, 15 → 19);
// weight on the 100..900 scale (400 normal, 700 bold).
QFont CreateSkinFont(const QString& face, int points, int weight);

}  // namespace view
