#pragma once
// Every key event of the program, judged once as its window receives it:
// the press of a key that was up, the repeats of a held key, and the one
// real release. The application buttons, when grabbed, are routed from here
// to their window as hot keys.
//
// A held key repeats. On X11 the server sends each repeat as a release and a
// press with one timestamp, and Qt can mark them as repeats only when the
// press is already queued, so on a busy machine a held key looked like many
// presses. The program asks the server for detectable auto-repeat (repeats
// come as presses only), and a press of a key that is still down counts as
// a repeat whatever its flag says.

#include <QEvent>

class QKeyEvent;

namespace view {

enum class KeyPhase {
  Press,          // the key went down
  Repeat,         // the key is held and repeats
  Release,        // the key went up
  RepeatRelease,  // the release half of a repeat (the key is still down)
};

// Installs the program-wide key filter; later calls do nothing. Needs the
// application object.
void InstallKeyInput();
// The phase of a key event being delivered. An event that never passed its
// window (sent straight to a widget, as tests do) is judged by its own
// auto-repeat flag.
KeyPhase PhaseOf(const QKeyEvent* event);
// Whether the window system was told to send repeats as presses only.
bool DetectableAutoRepeat();

}  // namespace view
