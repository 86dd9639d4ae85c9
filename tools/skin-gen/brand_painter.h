#pragma once

// The program's own marks: the About-page logo (bitmap 173) and the
// desktop icon.

#include <QFont>
#include <QImage>

namespace skingen {

// 77 x 38, magenta where transparent.
QImage logo(const QFont& boldFont);

// A square icon with real transparency, drawn for the given size.
QImage programIcon(int size);

}  // namespace skingen
