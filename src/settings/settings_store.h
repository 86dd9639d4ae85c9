#pragma once
// Holds the settings record, the path of settings.dat and the page at which
// the settings sheet opens. The record is loaded once at start and saved once
// at exit; everyone else reads and writes its fields directly.

#include <cstdint>
#include <string>

#include "settings/preferences.h"
#include "settings/settings_record.h"

namespace settings {

inline constexpr int kPathChars = 260;

class SettingsStore {
 public:
  // Builds Path: the program's folder followed by "settings.dat". A program
  // folder too long for that leaves Path empty, and Load and Save then fail.
  SettingsStore();

  // True when the record was read from the file. A missing or short file
  // leaves the record untouched.
  bool Load();
  // True when all 700 bytes were written.
  bool Save();
  // Fills the record with the defaults; returns true.
  bool SetDefaults();
  // Writes the ten key/action pairs in table order: with the application keys
  // bound when full is set, with them on "No action" otherwise.
  static void SetDefaultBindings(ButtonBinding* bindings, bool full);

  SettingsRecord Record{};
  char16_t Path[kPathChars]{};  // device path, NUL-terminated
  int32_t StartPage = 0;        // 0 General, 1 Buttons, 2 Misc, 3 About, 4 Audio; never stored
  // The desktop's additions, in their own file beside settings.dat; loaded
  // and saved by the program with the record, never part of its 700 bytes.
  PreferencesStore Preferences;
};

}  // namespace settings
