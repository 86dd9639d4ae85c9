#include "platform/registry.h"

#include <QStringView>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace platform {

// The store is one UTF-8 text file, "registry.txt" in the configuration
// folder, a line per key: the key alone, or "key=value" once it has a default
// value. '%', '=', CR and LF are written as %25, %3D, %0D and %0A. A change is
// written to a temporary file that then replaces the store, so a crash never
// leaves half a store behind.

namespace {

struct Entry {
  std::u16string key;
  std::optional<std::u16string> value;
};

std::mutex& StoreMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string StorePath() { return Registry::StoreFile(); }

// Written as UTF-8 with a few bytes escaped: at most three bytes a character.
constexpr size_t kMaxLineBytes = 3 * (Registry::kMaxKeyChars + Registry::kMaxValueChars) + 1;

std::string Escape(std::u16string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : ToUtf8(text)) {
    if (c == '%' || c == '=' || c == '\r' || c == '\n') {
      out += '%';
      out += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::u16string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return FromUtf8(out);
}

// Registry keys ignore letter case, like the handheld's.
bool SameKey(const std::u16string& a, const std::u16string& b) {
  return QStringView(a.data(), a.size()).compare(QStringView(b.data(), b.size()), Qt::CaseInsensitive) == 0;
}

// A missing store is an empty one; any other failure to read is an error, so
// that a write never replaces a store it could not read.
bool Load(std::vector<Entry>* entries) {
  entries->clear();
  File file;
  if (!file.OpenHost(StorePath(), FileAccess::Read)) return GetLastError() == ENOENT;
  // No more than a store of these entries can need, whatever the file's size.
  std::string content;
  char buffer[4096];
  while (content.size() < Registry::kMaxStoreBytes) {
    uint32_t got = 0;
    const size_t want = std::min(sizeof buffer, Registry::kMaxStoreBytes - content.size());
    if (!file.Read(buffer, static_cast<uint32_t>(want), &got)) return false;
    if (got == 0) break;
    content.append(buffer, got);
  }
  int64_t size = 0;
  // A line cut by the limit is no entry.
  if (file.Size(&size) && size > static_cast<int64_t>(content.size())) {
    const size_t lastEnd = content.rfind('\n');
    content.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  }
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.size() > kMaxLineBytes) continue;
    const size_t equals = line.find('=');
    Entry entry;
    entry.key = Unescape(line.substr(0, equals));
    if (equals != std::string_view::npos) entry.value = Unescape(line.substr(equals + 1));
    if (entry.key.empty() || entry.key.size() > Registry::kMaxKeyChars) continue;
    if (entry.value && entry.value->size() > Registry::kMaxValueChars) continue;
    entries->push_back(std::move(entry));
  }
  return true;
}

std::string Line(const Entry& entry) {
  std::string line = Escape(entry.key);
  if (entry.value) line += '=' + Escape(*entry.value);
  return line + '\n';
}

// The entry just changed is always written; of the others, those from the
// first on that fit within what the store reads back (a store read as far as
// its limit keeps its first entries, as the next read would see them).
bool Save(const std::vector<Entry>& entries, const Entry& changed) {
  if (!DevicePaths::CreateRootFor(kProgramFolder)) return false;
  std::string content;
  size_t room = Registry::kMaxStoreBytes - Line(changed).size();
  bool full = false;
  for (const Entry& entry : entries) {
    std::string line = Line(entry);
    if (&entry != &changed) {
      full = full || line.size() > room;
      if (full) continue;
      room -= line.size();
    }
    content += line;
  }
  const std::string path = StorePath();
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno();
    return false;
  }
  size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    written += static_cast<size_t>(n);
  }
  const bool ok = written == content.size() && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int failure = ok ? errno : error;
    ::unlink(temp.c_str());
    SetLastError(failure);
    return false;
  }
  return true;
}

Entry* Find(std::vector<Entry>& entries, const std::u16string& key) {
  for (Entry& entry : entries) {
    if (SameKey(entry.key, key)) return &entry;
  }
  return nullptr;
}

}  // namespace

std::string Registry::StoreFile() { return DevicePaths::ConfigRoot() + "/registry.txt"; }

bool Registry::CreateKey(const std::u16string& key) {
  if (key.empty()) {
    SetLastError(EINVAL);
    return false;
  }
  if (key.size() > kMaxKeyChars) {
    SetLastError(ENAMETOOLONG);
    return false;
  }
  std::lock_guard<std::mutex> lock(StoreMutex());
  std::vector<Entry> entries;
  if (!Load(&entries)) return false;
  if (Find(entries, key) != nullptr) return true;
  entries.push_back({key, std::nullopt});
  return Save(entries, entries.back());
}

std::optional<std::u16string> Registry::ReadDefault(const std::u16string& key) {
  std::lock_guard<std::mutex> lock(StoreMutex());
  std::vector<Entry> entries;
  if (!Load(&entries)) return std::nullopt;
  const Entry* entry = Find(entries, key);
  if (entry == nullptr || !entry->value) {
    SetLastError(ENOENT);
    return std::nullopt;
  }
  return entry->value;
}

// Writing creates the key when missing.
bool Registry::WriteDefault(const std::u16string& key, const std::u16string& value) {
  if (key.empty()) {
    SetLastError(EINVAL);
    return false;
  }
  if (key.size() > kMaxKeyChars || value.size() > kMaxValueChars) {
    SetLastError(ENAMETOOLONG);
    return false;
  }
  std::lock_guard<std::mutex> lock(StoreMutex());
  std::vector<Entry> entries;
  if (!Load(&entries)) return false;
  Entry* entry = Find(entries, key);
  if (entry == nullptr) {
    entries.push_back({key, value});
    entry = &entries.back();
  } else {
    entry->value = value;
  }
  return Save(entries, *entry);
}

}  // namespace platform
