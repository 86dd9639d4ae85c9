#pragma once

// Where everything sits on the 240 x 269 skin (bitmap 104). The controls of
// the main view copy their images to exactly these places, so the skin is
// drawn around this table and every control image is cut from the same
// drawing.

#include <QRect>

namespace skingen {

inline constexpr int kSkinWidth = 240;
inline constexpr int kSkinHeight = 269;

enum class Glyph { Record, Play, Stop, Rewind, Forward, Previous, Next, Vas, Pause, RecordPause, PlayPause };

struct ButtonPlace {
  const char* role;
  int left, top, size;  // round buttons: square images
  int pressedId, disabledId;
  Glyph glyph;
};

// Transport row and the VAS toggle, in hit-test order.
inline constexpr ButtonPlace kButtons[] = {
    {"record", 5, 84, 28, 140, 142, Glyph::Record},
    {"play", 37, 81, 34, 122, 121, Glyph::Play},
    {"stop", 75, 84, 28, 113, 125, Glyph::Stop},
    {"rewind", 109, 84, 28, 138, 137, Glyph::Rewind},
    {"forward", 141, 84, 28, 135, 134, Glyph::Forward},
    {"previous", 175, 84, 28, 127, 124, Glyph::Previous},
    {"next", 207, 84, 28, 119, 118, Glyph::Next},
    {"vas", 8, 128, 38, 162, 161, Glyph::Vas},
};
inline constexpr int kRecordRow = 0;
inline constexpr int kPlayRow = 1;
inline constexpr int kVasRow = 7;

inline QRect buttonRect(const ButtonPlace& b) { return QRect(b.left, b.top, b.size, b.size); }

// Level meter: two 3-pixel columns, dots 2 rows tall with a 1-row gap,
// counted from the bottom (75 rows = 25 dots).
inline constexpr QRect kMeterRect(4, 3, 11, 75);
inline constexpr int kMeterColumnX[2] = {4, 12};
inline constexpr int kMeterColumnWidth = 3;

// VAS bar: 167 x 3 dotted rows at y 133 and 141, dots 2 columns wide.
inline constexpr int kVasBarLeft = 57;
inline constexpr int kVasBarRowY[2] = {133, 141};
inline constexpr int kVasBarWidth = 167;
inline constexpr int kVasBarHeight = 3;

// Volume slider: the fill image lands one row below the slider's top edge
// (rows 4..64); the 13 x 8 thumb hangs 3 pixels left of the track.
inline constexpr QRect kVolumeFillRect(223, 4, 10, 61);
inline constexpr int kVolumeThumbW = 13, kVolumeThumbH = 8;

// VAS threshold slider: fill at (57, 151), 10 x 15 thumb reaching 4 rows
// above the track.
inline constexpr QRect kThresholdFillRect(57, 151, 173, 11);
inline constexpr int kThresholdThumbW = 10, kThresholdThumbH = 15;

// Position slider: a 1-pixel red line at x 29..209, rows 60..70.
inline constexpr int kPositionMinX = 29, kPositionMaxX = 209;
inline constexpr int kPositionTop = 60, kPositionHeight = 11;

// Icons.
inline constexpr QRect kVolumeIconRect(220, 66, 18, 18);
inline constexpr QRect kStatusIconRect(29, 7, 10, 10);
inline constexpr int kVolumeIconCount = 4;
inline constexpr int kStatusIconCount = 6;

// Text areas (inclusive right and bottom, as the view restores them).
inline constexpr QRect kFileNameText(QPoint(45, 4), QPoint(147, 20));
inline constexpr QRect kLengthText(QPoint(148, 4), QPoint(210, 20));
inline constexpr QRect kTimeText(QPoint(33, 33), QPoint(115, 52));
inline constexpr QRect kFormatText(QPoint(131, 25), QPoint(215, 41));
inline constexpr QRect kStorageText(QPoint(131, 40), QPoint(215, 54));

// Panels drawn around the controls (outer edges, inclusive).
inline constexpr QRect kMeterHousing(QPoint(2, 1), QPoint(16, 79));
inline constexpr QRect kTopPanel(QPoint(25, 1), QPoint(217, 22));
inline constexpr QRect kTimePanel(QPoint(25, 24), QPoint(121, 57));
inline constexpr QRect kFormatPanel(QPoint(125, 24), QPoint(217, 57));
inline constexpr QRect kPositionTrack(QPoint(25, 59), QPoint(217, 72));
inline constexpr QRect kVolumeRecess(QPoint(221, 2), QPoint(234, 65));
inline constexpr QRect kVasPlate(QPoint(3, 125), QPoint(236, 168));
inline constexpr QRect kVasRecess(QPoint(52, 128), QPoint(233, 165));
inline constexpr QRect kInfoPanel(QPoint(3, 171), QPoint(236, 266));

}  // namespace skingen
