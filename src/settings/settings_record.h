#pragma once
// Every user setting in one fixed 700-byte record. The bytes in memory are the
// bytes of settings.dat: little-endian 32-bit integers and UTF-16LE text
// arrays, no padding, at fixed offsets.

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace settings {

inline constexpr int kButtonCount = 10;
inline constexpr int kFolderChars = 260;
inline constexpr int kStorageChars = 32;
inline constexpr uint32_t kRecordSize = 700;

// One hardware key and the action it is bound to.
struct ButtonBinding {
  uint32_t Key;
  uint32_t Action;
};

struct SettingsRecord {
  int32_t Volume;        // playback volume, 0..100
  int32_t VasThreshold;  // voice-activation threshold
  int32_t VasMode;       // 1 off, 2 on (readers test the bit of value 2)
  int32_t WrapAround;    // previous/next track wrap at the ends of the list
  int32_t LedBlink;      // blink the LED while recording
  int32_t FormatId;      // recording format identifier
  char16_t Folder[kFolderChars];  // folder filter of the record list
  int32_t PlayMode;      // 1 list once, 2 list repeated, 3 one record, 4 one record repeated
  int32_t AmplifyInput;  // read by the audio thread: use the helpers below
  int32_t AmplifyOutput; // read by the audio thread: use the helpers below
  char16_t Storage[kStorageChars];  // "Main Memory" or a storage card's folder name
  ButtonBinding Buttons[kButtonCount];
};

// The file is the record's memory image, so the layout is the format.
static_assert(std::endian::native == std::endian::little,
              "settings.dat holds little-endian integers and UTF-16LE text");
static_assert(sizeof(ButtonBinding) == 8);
static_assert(offsetof(ButtonBinding, Key) == 0);
static_assert(offsetof(ButtonBinding, Action) == 4);
static_assert(sizeof(SettingsRecord) == kRecordSize);
static_assert(offsetof(SettingsRecord, Volume) == 0);
static_assert(offsetof(SettingsRecord, VasThreshold) == 4);
static_assert(offsetof(SettingsRecord, VasMode) == 8);
static_assert(offsetof(SettingsRecord, WrapAround) == 12);
static_assert(offsetof(SettingsRecord, LedBlink) == 16);
static_assert(offsetof(SettingsRecord, FormatId) == 20);
static_assert(offsetof(SettingsRecord, Folder) == 24);
static_assert(offsetof(SettingsRecord, PlayMode) == 544);
static_assert(offsetof(SettingsRecord, AmplifyInput) == 548);
static_assert(offsetof(SettingsRecord, AmplifyOutput) == 552);
static_assert(offsetof(SettingsRecord, Storage) == 556);
static_assert(offsetof(SettingsRecord, Buttons) == 620);
static_assert(std::is_trivially_copyable_v<SettingsRecord>);
static_assert(std::is_standard_layout_v<SettingsRecord>);
// Natural alignment (no packing pragma) keeps the amplify flags aligned for
// atomic access.
static_assert(alignof(SettingsRecord) >= std::atomic_ref<int32_t>::required_alignment);

// The amplify flags are read on the audio thread while the settings sheet may
// change them; these give each access a single atomic load or store.
inline int32_t ReadAmplifyInput(const SettingsRecord& record) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(record.AmplifyInput))
      .load(std::memory_order_relaxed);
}
inline int32_t ReadAmplifyOutput(const SettingsRecord& record) {
  return std::atomic_ref<int32_t>(const_cast<int32_t&>(record.AmplifyOutput))
      .load(std::memory_order_relaxed);
}
inline void WriteAmplifyInput(SettingsRecord& record, int32_t value) {
  std::atomic_ref<int32_t>(record.AmplifyInput).store(value, std::memory_order_relaxed);
}
inline void WriteAmplifyOutput(SettingsRecord& record, int32_t value) {
  std::atomic_ref<int32_t>(record.AmplifyOutput).store(value, std::memory_order_relaxed);
}

}  // namespace settings
