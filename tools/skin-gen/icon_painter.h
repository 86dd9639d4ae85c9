#pragma once

// Small icon strips: the status icons of the top panel (bitmap 160), the
// seven tool-strip images of the menu bar (103) and the ten hardware-key
// icons of the Buttons page (165).

#include <QFont>
#include <QImage>

namespace skingen {

// Six 10 x 10 icons, magenta where transparent: recording, playing, stopped,
// paused, scanning back, scanning forward.
QImage statusIcons();

// Seven 16 x 16 images, magenta where transparent: file list, voice
// activation, display off, and play modes 1 to 4.
QImage toolStrip(const QFont& digitFont);

// Ten opaque 16 x 16 key icons: Up, Down, Left, Right, Return, Notes,
// Contacts, Calendar, Task, Record.
QImage keyIcons();

}  // namespace skingen
