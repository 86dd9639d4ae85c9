#pragma once
// A small persistent key/value store standing in for the handheld's registry:
// keys named like "SOFTWARE\Microsoft\Shell\Keys\40C5", each with a default
// string value, kept in the configuration folder.

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

class Registry {
 public:
  // What one entry can hold. Reading stops after kMaxStoreBytes; what lies
  // beyond, and any line whose key or value is longer, is taken as damage:
  // skipped when read and gone after the next write.
  static constexpr size_t kMaxKeyChars = 255;
  static constexpr size_t kMaxValueChars = 259;  // a 260-character buffer with its terminator
  static constexpr size_t kMaxStoreBytes = 64 * 1024;

  // The store's host file (registry.txt in the configuration folder).
  static std::string StoreFile();

  // Creates the key when missing; false (last error set) when the store
  // cannot be written, or cannot be read (it is then kept as it is: a FIFO
  // or a folder under its name gives kNotRegularFileError or EISDIR).
  static bool CreateKey(const std::u16string& key);
  static std::optional<std::u16string> ReadDefault(const std::u16string& key);
  // A key or value longer than it can hold fails with ENAMETOOLONG.
  static bool WriteDefault(const std::u16string& key, const std::u16string& value);
};

}  // namespace platform
