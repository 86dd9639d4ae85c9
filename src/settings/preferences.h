#pragma once
// What the desktop program remembers beyond the handheld's settings record:
// the chosen microphone and speaker, the voice-activation pre-roll, the
// playback speed. settings.dat keeps its 700 bytes as they are; these live
// in a plain text file beside it, "preferences.txt", one "key=value" line
// each (UTF-8), so a user can read and mend it.
//
// Reading is tolerant: a line that is not "key=value" is skipped, a value
// out of its range reads as the default, and a missing or unreadable file
// means every default. Keys nobody here knows are kept and written back.
// The file is written at exit only when a value changed, so a file that
// could not be read is never replaced by defaults the user did not choose.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace settings {

class PreferencesStore {
 public:
  // Longest file read and longest value kept: what lies beyond is no
  // preference of ours, and must not cost memory.
  static constexpr int64_t kMaxFileBytes = 64 * 1024;
  static constexpr size_t kMaxValueBytes = 1024;

  // Path: the program's folder followed by "preferences.txt".
  PreferencesStore();

  // True when the file was read (missing: false, every default). A file
  // that is there but cannot be read (no permission, a FIFO, a folder) gives
  // every default too, and sets UnreadableError.
  bool Load();
  // True when the file was written, or when nothing changed since Load.
  // Refused (false, last error UnreadableError) after a Load that found the
  // file unreadable: the defaults never replace it.
  bool Save();
  // Whether a value was set since the last Load or Save.
  bool Changed() const { return changed_; }

  // The value of key, or fallback when it is absent.
  std::string Get(std::string_view key, std::string_view fallback = {}) const;
  // The value as a whole number within [min, max], or fallback when it is
  // absent, not a number or out of range.
  int GetInt(std::string_view key, int fallback, int min, int max) const;
  // Sets a value (cut at kMaxValueBytes and at a line end, which the file
  // cannot hold). Setting the value a key already has changes nothing.
  void Set(std::string_view key, std::string_view value);
  void SetInt(std::string_view key, int value);

  std::u16string Path;  // device path
  // Why the last Load could not read a file that is there (errno); 0 otherwise.
  int UnreadableError = 0;

 private:
  std::map<std::string, std::string, std::less<>> values_;
  bool changed_ = false;
};

}  // namespace settings
