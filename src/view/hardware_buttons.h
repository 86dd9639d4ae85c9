#pragma once
// The hardware keys and the actions they can be bound to. The bindings are
// the ten key/action pairs of the settings record, read at every key event.
// On a desktop the keys map onto the handheld's codes: the arrows 37-40,
// Return/Enter 134 (the direction pad's press), F1-F4 193-196 (the Notes,
// Contacts, Calendar and Task buttons) and F5 or the Record media key 197.

#include <cstdint>

#include <QEvent>

#include "settings/record_ranges.h"
#include "settings/settings_record.h"

class QWidget;
class QKeyEvent;

namespace view {

enum class ButtonAction : uint32_t {
  NoAction = 0,
  RecordPause = 1,
  PlayPause = 2,
  Stop = 3,
  VolumeUp = 4,
  VolumeDown = 5,
  Forward = 6,
  Rewind = 7,
  PrevTrack = 8,
  NextTrack = 9,
  ScreenOnOff = 10,
  // Playback speed one step down or up (audio/playback_speed.h); appended,
  // so a settings.dat of the eleven reads as before.
  Slower = 11,
  Faster = 12,
};
// The number of actions is the settings record's (record_ranges.h).
inline constexpr uint32_t kButtonActionCount = settings::kButtonActionCount;

// Device key codes of the ten bindable keys, in binding-table order.
inline constexpr uint32_t kKeyUp = 38;
inline constexpr uint32_t kKeyDown = 40;
inline constexpr uint32_t kKeyLeft = 37;
inline constexpr uint32_t kKeyRight = 39;
inline constexpr uint32_t kKeyReturn = 134;
inline constexpr uint32_t kKeyNotes = 193;
inline constexpr uint32_t kKeyContacts = 194;
inline constexpr uint32_t kKeyCalendar = 195;
inline constexpr uint32_t kKeyTask = 196;
inline constexpr uint32_t kKeyRecord = 197;
inline constexpr uint32_t kBindableKeys[settings::kButtonCount] = {
    kKeyUp, kKeyDown, kKeyLeft, kKeyRight, kKeyReturn,
    kKeyNotes, kKeyContacts, kKeyCalendar, kKeyTask, kKeyRecord};

// The text of an action ("Record/Pause") and the name of a key ("Notes").
// Each copies its result into a buffer of its own and returns it; the next
// call overwrites it. A value outside the table gives an empty text, never
// the name an earlier call left there.
const char16_t* ButtonActionName(uint32_t action);
const char16_t* HardwareKeyName(uint32_t key);

// The action bound to a key: the first binding with that key, else NoAction.
ButtonAction BoundAction(const settings::SettingsRecord& record, uint32_t key);

// The device key code of a Qt key (Qt::Key), 0 for a key the handheld did not have.
uint32_t DeviceKeyCode(int qtKey);
// Application buttons (codes 193 to 207) arrive as hot keys when grabbed.
bool IsApplicationButton(uint32_t code);

// A hot key: an application button routed to the window that grabbed it.
// The press arrives once with KeyUp false and the release once with KeyUp
// true, as the handheld's MOD_KEYUP; the repeats of a held button do not.
class HotKeyEvent : public QEvent {
 public:
  static QEvent::Type EventType();
  HotKeyEvent(uint32_t code, bool keyUp) : QEvent(EventType()), Code(code), KeyUp(keyUp) {}
  const uint32_t Code;
  const bool KeyUp;
};

// Takes the application buttons over and routes them to `window` as hot keys
// while the program has the keyboard; null hands them to no window (they then
// reach the focused widget as ordinary keys). They stay with the last window
// they were grabbed for. The routing is the key filter's (key_input.h).
void GrabApplicationKeys(QWidget* window);
QWidget* ApplicationKeysOwner();

}  // namespace view
