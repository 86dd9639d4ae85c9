#include "settings/preferences.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace settings {

namespace {

constexpr char16_t kFileName[] = u"preferences.txt";

bool IsKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
}

bool IsKey(std::string_view key) {
  if (key.empty() || key.size() > 64) return false;
  for (const char c : key)
    if (!IsKeyChar(c)) return false;
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// A value as the file can hold it: one line, at most kMaxValueBytes.
std::string Storable(std::string_view value) {
  const size_t end = value.find_first_of("\r\n");
  if (end != std::string_view::npos) value = value.substr(0, end);
  if (value.size() > PreferencesStore::kMaxValueBytes) value = value.substr(0, PreferencesStore::kMaxValueBytes);
  return std::string(value);
}

}  // namespace

PreferencesStore::PreferencesStore() {
  const std::u16string module = platform::DevicePaths::ModuleFileName();
  const size_t slash = module.rfind(u'\\');
  if (slash != std::u16string::npos) Path = module.substr(0, slash + 1) + kFileName;
}

bool PreferencesStore::Load() {
  values_.clear();
  changed_ = false;
  UnreadableError = 0;
  if (Path.empty()) return false;
  platform::File file;
  if (!file.Open(Path, platform::FileAccess::Read)) {
    if (platform::GetLastError() != ENOENT) UnreadableError = platform::GetLastError();
    return false;
  }
  std::string text;
  std::vector<char> chunk(4096);
  while (static_cast<int64_t>(text.size()) < kMaxFileBytes) {
    uint32_t done = 0;
    const auto want = static_cast<uint32_t>(std::min<int64_t>(chunk.size(), kMaxFileBytes - text.size()));
    if (!file.Read(chunk.data(), want, &done)) {
      UnreadableError = platform::GetLastError() != 0 ? platform::GetLastError() : EIO;
      values_.clear();
      return false;
    }
    if (done == 0) break;
    text.append(chunk.data(), done);
  }
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    if (!IsKey(key)) continue;
    values_[std::string(key)] = Storable(Trim(line.substr(equals + 1)));
  }
  return true;
}

bool PreferencesStore::Save() {
  if (!changed_) return true;
  if (Path.empty()) return false;
  if (UnreadableError != 0) {
    platform::SetLastError(UnreadableError);
    return false;
  }
  std::string text = "# Quillon preferences: key=value, one per line.\n";
  for (const auto& [key, value] : values_) text += key + "=" + value + "\n";
  // As settings.dat: a new file, made afresh and never through a link,
  // takes the old one's place in one step.
  const std::u16string fresh = Path + u".new";
  bool written = false;
  {
    platform::File file;
    platform::DeleteFile(fresh);
    if (!file.Open(fresh, platform::FileAccess::CreateNew)) return false;
    uint32_t total = 0;
    while (total < text.size()) {
      uint32_t done = 0;
      if (!file.Write(text.data() + total, static_cast<uint32_t>(text.size() - total), &done) || done == 0) break;
      total += done;
    }
    written = total == text.size() && file.Flush();
  }
  if (written && platform::ReplaceFile(fresh, Path)) {
    changed_ = false;
    return true;
  }
  const int error = platform::GetLastError();
  platform::DeleteFile(fresh);
  platform::SetLastError(error);
  return false;
}

std::string PreferencesStore::Get(std::string_view key, std::string_view fallback) const {
  const auto found = values_.find(key);
  return found != values_.end() ? found->second : std::string(fallback);
}

int PreferencesStore::GetInt(std::string_view key, int fallback, int min, int max) const {
  const auto found = values_.find(key);
  if (found == values_.end()) return fallback;
  const std::string& text = found->second;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) return fallback;
  return value;
}

void PreferencesStore::Set(std::string_view key, std::string_view value) {
  if (!IsKey(key)) return;
  std::string stored = Storable(value);
  const auto found = values_.find(key);
  if (found != values_.end() && found->second == stored) return;
  values_[std::string(key)] = std::move(stored);
  changed_ = true;
}

void PreferencesStore::SetInt(std::string_view key, int value) { Set(key, std::to_string(value)); }

}  // namespace settings
