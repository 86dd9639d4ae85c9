#include "audio/device_choice.h"

#include <algorithm>

#include "audio/wave_file_stream.h"
#include "platform/text.h"

namespace audio {

DeviceChoice ReadDeviceChoice(const settings::PreferencesStore& preferences, bool input) {
  DeviceChoice choice;
  choice.id = preferences.Get(input ? kRecordDeviceKey : kPlayDeviceKey);
  if (!choice.id.empty()) choice.description = preferences.Get(input ? kRecordDeviceNameKey : kPlayDeviceNameKey);
  return choice;
}

void WriteDeviceChoice(settings::PreferencesStore& preferences, bool input, const DeviceChoice& choice) {
  preferences.Set(input ? kRecordDeviceKey : kPlayDeviceKey, choice.id);
  preferences.Set(input ? kRecordDeviceNameKey : kPlayDeviceNameKey, choice.id.empty() ? "" : choice.description);
}

uint32_t ReadPreRollMs(const settings::PreferencesStore& preferences) {
  const int ms = preferences.GetInt(kPreRollKey, kDefaultPreRollMs, 0, kMaxPreRollMs);
  return ms % kPreRollStepMs == 0 ? static_cast<uint32_t>(ms) : kDefaultPreRollMs;
}

void WritePreRollMs(settings::PreferencesStore& preferences, uint32_t ms) {
  preferences.SetInt(kPreRollKey, static_cast<int>(std::min(ms, kMaxPreRollMs) / kPreRollStepMs * kPreRollStepMs));
}

std::string StreamNameFor(const IAudioStream* stream) {
  const auto* file = dynamic_cast<const WaveFileStream*>(stream);
  if (file == nullptr || file->GetPath().empty()) return "Listening";
  const std::u16string& path = file->GetPath();
  const size_t slash = path.find_last_of(u"\\/");
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return platform::ToUtf8(name);
}

std::u16string LostInputText(uint32_t lostMs) {
  if (lostMs == 0) return {};
  return platform::FromUtf8(std::to_string(lostMs) + " ms of input were lost.");
}

}  // namespace audio
