#pragma once

// The colours of the skin: a graphite body, light LCD panels for the black
// texts, dark recesses for the meters and wedges, green for anything lit.

#include <QColor>

namespace skingen::palette {

inline const QColor kBodyTop(66, 70, 77);
inline const QColor kBodyBottom(38, 41, 46);
inline const QColor kRecess(17, 19, 22);
inline const QColor kRecessShadow(6, 7, 8);
inline const QColor kRecessHighlight(118, 124, 133);
inline const QColor kLcd(204, 214, 198);
inline const QColor kLcdShade(170, 181, 165);
inline const QColor kLcdTick(92, 100, 90);
inline const QColor kInk(12, 14, 12);
inline const QColor kPlateTop(74, 78, 86);
inline const QColor kPlateBottom(54, 57, 63);
inline const QColor kInfo(22, 26, 32);
inline const QColor kInfoText(206, 212, 220);
inline const QColor kInfoHeading(118, 222, 128);
inline const QColor kUnlitSegment(56, 61, 67);
inline const QColor kGlyph(234, 237, 240);
inline const QColor kRecordRed(226, 44, 40);
inline const QColor kLitGreen(92, 232, 108);
inline const QColor kMagenta(255, 0, 255);
// What the desktop puts behind the tool strip and the logo (a light window).
inline const QColor kWindow(239, 239, 239);

}  // namespace skingen::palette
