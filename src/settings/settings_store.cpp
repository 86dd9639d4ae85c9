#include "settings/settings_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "settings/record_ranges.h"

namespace settings {

namespace {

constexpr char16_t kFileName[] = u"settings.dat";
constexpr char16_t kDefaultFolder[] = u"All Folders";
constexpr char16_t kDefaultStorage[] = u"Main Memory";

// Keys and actions of the default bindings, in table order: the action with
// the application keys bound, and the one after "Reset" (application keys on
// "No action", 0).
struct DefaultBinding {
  uint32_t Key;
  uint32_t FullAction;
  uint32_t ResetAction;
};
constexpr DefaultBinding kDefaultBindings[kButtonCount] = {
    {38, 4, 4},    // Up: Volume up
    {40, 5, 5},    // Down: Volume down
    {37, 7, 7},    // Left: Rewind
    {39, 6, 6},    // Right: Forward
    {134, 2, 2},   // Return: Play/Pause
    {193, 1, 0},   // Notes: Record/Pause
    {194, 3, 0},   // Contacts: Stop
    {195, 8, 0},   // Calendar: Prev track
    {196, 9, 0},   // Task: Next Track
    {197, 1, 0},   // Record: Record/Pause
};

template <size_t N>
void CopyText(char16_t (&target)[N], const char16_t* text) {
  const size_t length = std::min(std::char_traits<char16_t>::length(text), N - 1);
  std::memcpy(target, text, length * sizeof(char16_t));
  target[length] = u'\0';
}

// A text array from the file may lack its terminator; every reader of the
// record treats these as strings, so end them in the last element.
template <size_t N>
void TerminateInLast(char16_t (&text)[N]) {
  if (std::find(text, text + N, u'\0') == text + N) text[N - 1] = u'\0';
}

}  // namespace

SettingsStore::SettingsStore() {
  const std::u16string module = platform::DevicePaths::ModuleFileName();
  const size_t slash = module.rfind(u'\\');
  if (slash == std::u16string::npos) return;
  const std::u16string path = module.substr(0, slash + 1) + kFileName;
  // Refused rather than truncated: a cut path would name some other file.
  if (path.size() >= static_cast<size_t>(kPathChars)) return;
  std::copy(path.begin(), path.end(), Path);
  Path[path.size()] = u'\0';
}

bool SettingsStore::Load() {
  UnreadableError = 0;
  if (Path[0] == u'\0') return false;
  // Whatever goes wrong once the file is known to be there is remembered, so
  // that the exit does not put the defaults in its place.
  auto unreadable = [this] {
    UnreadableError = platform::GetLastError();
    if (UnreadableError == 0) UnreadableError = EIO;
    return false;
  };
  platform::File file;
  if (!file.Open(Path, platform::FileAccess::Read)) {
    return platform::GetLastError() == ENOENT ? false : unreadable();
  }
  int64_t size = 0;
  if (!file.Size(&size)) return unreadable();
  if (size < static_cast<int64_t>(kRecordSize)) return false;

  // Read into a zeroed copy, so that a failed read leaves the record as it was.
  SettingsRecord loaded{};
  auto* bytes = reinterpret_cast<unsigned char*>(&loaded);
  uint32_t total = 0;
  while (total < kRecordSize) {
    uint32_t done = 0;
    if (!file.Read(bytes + total, kRecordSize - total, &done)) return unreadable();
    if (done == 0) break;
    total += done;
  }
  if (total != kRecordSize) return false;

  TerminateInLast(loaded.Folder);
  TerminateInLast(loaded.Storage);
  MendRecord(loaded, DefaultRecord());
  Record = loaded;
  return true;
}

bool SettingsStore::Save() {
  if (Path[0] == u'\0') return false;
  if (UnreadableError != 0) {
    platform::SetLastError(UnreadableError);
    return false;
  }
  // The record goes to a new file that then takes the old one's place, so a
  // full disk or a crash midway leaves the previous settings whole. The new
  // file is made afresh: whatever lay under its name before (a leftover, a
  // link) is removed, never written through.
  const std::u16string target(Path);
  const std::u16string fresh = target + u".new";
  bool written = false;
  {
    platform::File file;
    platform::DeleteFile(fresh);
    // Opening for writing also makes the program's folder on a fresh machine.
    if (!file.Open(fresh, platform::FileAccess::CreateNew)) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&Record);
    uint32_t total = 0;
    while (total < kRecordSize) {
      uint32_t done = 0;
      if (!file.Write(bytes + total, kRecordSize - total, &done) || done == 0) break;
      total += done;
    }
    written = total == kRecordSize && file.Flush();
  }
  if (written && platform::ReplaceFile(fresh, target)) return true;
  const int error = platform::GetLastError();
  platform::DeleteFile(fresh);
  platform::SetLastError(error);
  return false;
}

SettingsRecord SettingsStore::DefaultRecord() {
  SettingsRecord record{};
  record.Volume = 100;
  record.VasThreshold = 0;
  record.VasMode = 1;
  record.WrapAround = 1;
  record.LedBlink = 1;
  CopyText(record.Folder, kDefaultFolder);
  record.FormatId = 49;
  record.PlayMode = 3;
  record.AmplifyInput = 0;
  record.AmplifyOutput = 0;
  CopyText(record.Storage, kDefaultStorage);
  SetDefaultBindings(record.Buttons, true);
  return record;
}

bool SettingsStore::SetDefaults() {
  Record = DefaultRecord();
  return true;
}

void SettingsStore::SetDefaultBindings(ButtonBinding* bindings, bool full) {
  for (int i = 0; i < kButtonCount; ++i) {
    bindings[i].Key = kDefaultBindings[i].Key;
    bindings[i].Action = full ? kDefaultBindings[i].FullAction : kDefaultBindings[i].ResetAction;
  }
}

}  // namespace settings
