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

  // True when the record was read from the file; fields out of their range
  // are read as their defaults (record_ranges.h). A missing or short file
  // leaves the record untouched. A file that is there but cannot be read (no
  // permission, a folder, a FIFO) does too, and sets UnreadableError.
  bool Load();
  // True when all 700 bytes were written, to a new file that then takes the
  // old one's place. Refused (false, last error UnreadableError) after a
  // Load that found the file unreadable: the defaults never replace it.
  bool Save();
  // Fills the record with the defaults; returns true.
  bool SetDefaults();
  // The record of defaults (every byte not named is zero).
  static SettingsRecord DefaultRecord();
  // Writes the ten key/action pairs in table order: with the application keys
  // bound when full is set, with them on "No action" otherwise.
  static void SetDefaultBindings(ButtonBinding* bindings, bool full);

  SettingsRecord Record{};
  char16_t Path[kPathChars]{};  // device path, NUL-terminated
  int32_t StartPage = 0;        // 0 General, 1 Buttons, 2 Misc, 3 About, 4 Audio; never stored
  // Why the last Load could not read a settings.dat that is there (errno;
  // platform::kNotRegularFileError for a FIFO or device); 0 otherwise.
  int UnreadableError = 0;
  // The desktop's additions, in their own file beside settings.dat; loaded
  // and saved by the program with the record, never part of its 700 bytes.
  PreferencesStore Preferences;
};

}  // namespace settings
