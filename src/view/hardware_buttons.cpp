#include "view/hardware_buttons.h"

#include <algorithm>
#include <iterator>


namespace view {
namespace {

constexpr const char16_t* kActionNames[] = {
    u"No action", u"Record/Pause", u"Play/Pause", u"Stop",       u"Volume up",    u"Volume down",
    u"Forward",   u"Rewind",       u"Prev track", u"Next Track", u"On/Off screen", u"Slower",
    u"Faster"};
static_assert(std::size(kActionNames) == kButtonActionCount, "one name for each action");

struct KeyName {
  uint32_t code;
  const char16_t* name;
};
constexpr KeyName kKeyNames[] = {
    {kKeyUp, u"Up"},       {kKeyDown, u"Down"},         {kKeyLeft, u"Left"},
    {kKeyRight, u"Right"}, {kKeyReturn, u"Return"},     {kKeyNotes, u"Notes"},
    {kKeyContacts, u"Contacts"}, {kKeyCalendar, u"Calendar"}, {kKeyTask, u"Task"},
    {kKeyRecord, u"Record"}};

// Long enough for every name; the tables are the only sources.
template <size_t N>
void CopyName(char16_t (&buffer)[N], const char16_t* text) {
  size_t i = 0;
  for (; text[i] != u'\0' && i + 1 < N; ++i) buffer[i] = text[i];
  buffer[i] = u'\0';
}

}  // namespace

const char16_t* ButtonActionName(uint32_t action) {
  static char16_t buffer[32];
  CopyName(buffer, action < kButtonActionCount ? kActionNames[action] : u"");
  return buffer;
}

const char16_t* HardwareKeyName(uint32_t key) {
  static char16_t buffer[32];
  const auto* found = std::find_if(std::begin(kKeyNames), std::end(kKeyNames),
                                   [key](const KeyName& k) { return k.code == key; });
  CopyName(buffer, found != std::end(kKeyNames) ? found->name : u"");
  return buffer;
}

ButtonAction BoundAction(const settings::SettingsRecord& record, uint32_t key) {
  for (const settings::ButtonBinding& binding : record.Buttons) {
    if (binding.Key == key) return static_cast<ButtonAction>(binding.Action);
  }
  return ButtonAction::NoAction;
}

uint32_t DeviceKeyCode(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Left: return kKeyLeft;
    case Qt::Key_Up: return kKeyUp;
    case Qt::Key_Right: return kKeyRight;
    case Qt::Key_Down: return kKeyDown;
    case Qt::Key_Return:
    case Qt::Key_Enter: return kKeyReturn;
    case Qt::Key_F1: return kKeyNotes;
    case Qt::Key_F2: return kKeyContacts;
    case Qt::Key_F3: return kKeyCalendar;
    case Qt::Key_F4: return kKeyTask;
    case Qt::Key_F5:
    case Qt::Key_MediaRecord: return kKeyRecord;
    default: return 0;
  }
}

bool IsApplicationButton(uint32_t code) { return code >= 0xC1 && code <= 0xCF; }

QEvent::Type HotKeyEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace view
