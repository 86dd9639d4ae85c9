#include "settings/record_ranges.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace settings {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

template <typename T>
int MendIf(bool bad, T& field, const T& fallback) {
  if (!bad) return 0;
  field = fallback;
  return 1;
}

template <size_t N>
int MendText(char16_t (&text)[N], const char16_t (&fallback)[N]) {
  if (IsNameText(text, static_cast<int>(N))) return 0;
  std::memcpy(text, fallback, sizeof text);
  return 1;
}

}  // namespace

bool IsRecordingFormatId(int32_t formatId) {
  return std::find(std::begin(kRecordingFormatIds), std::end(kRecordingFormatIds), formatId) !=
         std::end(kRecordingFormatIds);
}

bool IsNameText(const char16_t* text, int capacity) {
  const char16_t* end = std::find(text, text + capacity, u'\0');
  if (end == text || end == text + capacity) return false;
  const std::u16string_view name(text, static_cast<size_t>(end - text));
  if (name == u"." || name == u"..") return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c < 0x20 || c == 0x7F || c == u'\\' || c == u'/') return false;
    if (IsLowSurrogate(c)) return false;
    if (IsHighSurrogate(c)) {
      if (i + 1 == name.size() || !IsLowSurrogate(name[i + 1])) return false;
      ++i;
    }
  }
  return true;
}

int MendRecord(SettingsRecord& record, const SettingsRecord& defaults) {
  int mended = 0;
  mended += MendIf(record.Volume < 0 || record.Volume > kMaxVolume, record.Volume, defaults.Volume);
  mended += MendIf(record.VasThreshold < 0 || record.VasThreshold > kMaxVasThreshold, record.VasThreshold,
                   defaults.VasThreshold);
  mended += MendIf(record.VasMode != kVasOff && record.VasMode != kVasOn, record.VasMode, defaults.VasMode);
  mended += MendIf(!IsRecordingFormatId(record.FormatId), record.FormatId, defaults.FormatId);
  mended += MendText(record.Folder, defaults.Folder);
  mended += MendIf(record.PlayMode < kFirstPlayMode || record.PlayMode > kLastPlayMode, record.PlayMode,
                   defaults.PlayMode);
  mended += MendText(record.Storage, defaults.Storage);
  for (int i = 0; i < kButtonCount; ++i) {
    ButtonBinding& binding = record.Buttons[i];
    mended += MendIf(binding.Key != defaults.Buttons[i].Key, binding.Key, defaults.Buttons[i].Key);
    mended += MendIf(binding.Action >= kButtonActionCount, binding.Action, defaults.Buttons[i].Action);
  }
  return mended;
}

}  // namespace settings
