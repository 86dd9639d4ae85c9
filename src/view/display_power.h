#pragma once
// Switching the program's screen off and on while recording or playback goes
// on. A desktop has no backlight of its own to switch, so "off" blanks the
// main window with a black cover; the main window installs the blanker.

#include <functional>

#include <QString>

namespace view {

// Turns the screen on or off; returns false (after telling the user) when no
// screen that can be switched is installed.
bool SetDisplayPower(bool on);

// The main window installs what blanks it (null uninstalls).
using DisplayBlanker = std::function<void(bool on)>;
void InstallDisplayBlanker(DisplayBlanker blanker);

// How the "not supported" notice reaches the user: a message box by default;
// tests record it instead.
using DisplayNotice = std::function<void(const QString& text, const QString& caption)>;
void SetDisplayNotice(DisplayNotice notice);

inline constexpr char16_t kDisplayOffUnsupported[] = u"Sorry, your Pocket PC does not support DisplayOff";
inline constexpr char16_t kDisplayOffCaption[] = u"Pocket PC Display Off Feature";

}  // namespace view
