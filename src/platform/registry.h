#pragma once
// A small persistent key/value store standing in for the handheld's registry:
// keys named like "SOFTWARE\Microsoft\Shell\Keys\40C5", each with a default
// string value, kept in the configuration folder.

#include <optional>
#include <string>

namespace platform {

class Registry {
 public:
  // Creates the key when missing; false (last error set) when the store
  // cannot be written.
  static bool CreateKey(const std::u16string& key);
  static std::optional<std::u16string> ReadDefault(const std::u16string& key);
  static bool WriteDefault(const std::u16string& key, const std::u16string& value);
};

}  // namespace platform
