#pragma once
// The values each field of the settings record may hold. settings.dat is
// read as it stands, so whatever a damaged or hand-made file holds reaches
// the record; a field outside its range is read as its default, field by
// field, and the rest of the record is kept.

#include <cstdint>

#include "settings/settings_record.h"

namespace settings {

// Hardware-button actions run from 0 ("No action") to kButtonActionCount - 1:
// the handheld's eleven, then Slower (11) and Faster (12), the playback
// speed's. Raised here, and only here, when an action is added.
inline constexpr uint32_t kButtonActionCount = 13;

// The recording formats the settings offer, in the order of the format
// slider's presets (the audio engine checks its table against this one).
inline constexpr int32_t kRecordingFormatIds[] = {49, 4096, 1, 8192, 4, 16, 64};

inline constexpr int32_t kMaxVolume = 100;
inline constexpr int32_t kMaxVasThreshold = 100;
inline constexpr int32_t kVasOff = 1;
inline constexpr int32_t kVasOn = 2;
inline constexpr int32_t kFirstPlayMode = 1;
inline constexpr int32_t kLastPlayMode = 4;

bool IsRecordingFormatId(int32_t formatId);

// A text field that can name a folder or a card: not empty, one name (no
// '\' or '/', not "." or ".."), no control characters, well-formed UTF-16,
// and terminated within its array.
bool IsNameText(const char16_t* text, int capacity);

// Puts the default (from `defaults`) into every field of `record` that is
// out of its range: Volume, VasThreshold, VasMode, FormatId, Folder,
// PlayMode, Storage, and each binding's Key (the table always holds the same
// ten keys, in order) and Action. The on/off fields take any value, as their
// readers test for non-zero. Returns how many fields were mended.
int MendRecord(SettingsRecord& record, const SettingsRecord& defaults);

}  // namespace settings
