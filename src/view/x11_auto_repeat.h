#pragma once
// Asks the X server to send a held key's repeats as presses only, without
// the release before each. False where the program does not run on X11 or
// the server cannot do it.

namespace view {

bool EnableX11DetectableAutoRepeat();

}  // namespace view
