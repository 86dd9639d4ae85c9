#pragma once
// Brings a window to the front with the activation token another process
// handed over (a second start of the program passes its own). Compositors and
// window managers that prevent focus stealing honour a request that carries
// the token of the user's launch: on Wayland an xdg-activation token, on X11
// a startup-notification id whose "_TIME<n>" part is the launch's time.

class QString;
class QWidget;

namespace view {

// Raises and activates window (a top-level); token may be empty.
void ActivateWithToken(QWidget* window, const QString& token);

// The X server time in a startup-notification id ("..._TIME1234"), 0 when
// it has none.
unsigned long StartupIdTime(const QString& id);

}  // namespace view
