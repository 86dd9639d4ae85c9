#pragma once
// The desktop's additions to the device layer that the user sets: which
// device records and which plays (the sound server's, by id; empty for the
// desktop's default, followed as it changes), and how much of the input
// before speech voice activation keeps (the pre-roll). They live in the
// preferences file beside settings.dat, never in its 700 bytes.

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"
#include "settings/preferences.h"

namespace audio {

// Preference keys. The description is kept beside the id, so that a device
// that is not connected can still be named.
inline constexpr char kRecordDeviceKey[] = "RecordDevice";
inline constexpr char kRecordDeviceNameKey[] = "RecordDeviceName";
inline constexpr char kPlayDeviceKey[] = "PlayDevice";
inline constexpr char kPlayDeviceNameKey[] = "PlayDeviceName";
inline constexpr char kPreRollKey[] = "PreRollMs";

// The pre-roll: 0 (voice activation as the handheld had it) to 1000 ms in
// steps of 100; 300 unless the user chose otherwise.
inline constexpr uint32_t kDefaultPreRollMs = 300;
inline constexpr uint32_t kMaxPreRollMs = 1000;
inline constexpr uint32_t kPreRollStepMs = 100;

struct DeviceChoice {
  std::string id;           // empty: "Default"
  std::string description;
};

DeviceChoice ReadDeviceChoice(const settings::PreferencesStore& preferences, bool input);
void WriteDeviceChoice(settings::PreferencesStore& preferences, bool input, const DeviceChoice& choice);
// A stored value off the 100 ms steps or out of range reads as the default.
uint32_t ReadPreRollMs(const settings::PreferencesStore& preferences);
void WritePreRollMs(settings::PreferencesStore& preferences, uint32_t ms);

// What the desktop's volume control calls a stream: the file's name as the
// view shows it ("Recording00"), or, for input that goes to no file (voice
// activation listening), "Listening".
std::string StreamNameFor(const IAudioStream* stream);

// "N ms of input were lost." for a recording that lost input, else empty.
std::u16string LostInputText(uint32_t lostMs);

}  // namespace audio
