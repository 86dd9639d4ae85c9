// Arbitrary bytes as settings.dat. Load takes the first 700 bytes of a file
// that has them and refuses a shorter one, leaving the record as it was; in
// a loaded record each field is the file's when in its range and the
// default otherwise, and each text field ends within its array; it saves
// and loads back unchanged; and the format identifier goes through the
// presets and a stream's SetFormat.
//
//   fuzz_settings_load -max_total_time=60 CORPUS_DIR tests/data/settings

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "fuzz_support.h"
#include "settings/record_ranges.h"
#include "settings/settings_store.h"

namespace {

const std::string& ConfigFolder() { return fuzzsupport::ConfigFolder("fuzz-settings"); }

void Check(bool holds, const char* what) { fuzzsupport::Check("fuzz_settings_load", holds, what); }

// One name: not empty, no separator or control character, not "." or "..",
// no lone surrogate.
bool IsName(std::u16string_view text) {
  if (text.empty() || text == u"." || text == u"..") return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20 || c == 0x7F || c == u'\\' || c == u'/') return false;
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

// A text array from the file as Load must leave it: terminated in its last
// element when the file's array had no terminator, untouched otherwise, and
// the default when that is no name.
template <size_t N>
void CheckText(const char16_t (&loaded)[N], const uint8_t* fileText, const char16_t (&fallback)[N],
               const char* what) {
  char16_t expected[N];
  std::memcpy(expected, fileText, sizeof expected);
  if (std::find(expected, expected + N, u'\0') == expected + N) expected[N - 1] = u'\0';
  if (!IsName(std::u16string_view(expected))) std::memcpy(expected, fallback, sizeof expected);
  Check(std::memcmp(loaded, expected, sizeof expected) == 0, what);
  // Read as the program reads it: a string that ends within the array.
  Check(std::char_traits<char16_t>::length(loaded) < N, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ConfigFolder() + "/settings.dat";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;

  settings::SettingsStore store;
  store.SetDefaults();
  const settings::SettingsRecord defaults = store.Record;
  const bool loaded = store.Load();
  if (size < settings::kRecordSize) {
    Check(!loaded, "a short file was loaded");
    Check(std::memcmp(&store.Record, &defaults, sizeof defaults) == 0, "a refused file changed the record");
    return 0;
  }
  Check(loaded, "a file of 700 bytes or more was refused");

  const settings::SettingsRecord& r = store.Record;
  settings::SettingsRecord fromFile;
  std::memcpy(&fromFile, data, sizeof fromFile);
  const settings::SettingsRecord fallback = settings::SettingsStore::DefaultRecord();
  // Each field: the file's value where it is in range, else the default.
  const auto field = [](auto loaded, auto read, auto otherwise, bool inRange, const char* what) {
    Check(loaded == (inRange ? read : otherwise), what);
  };
  field(r.Volume, fromFile.Volume, fallback.Volume, fromFile.Volume >= 0 && fromFile.Volume <= 100, "Volume");
  field(r.VasThreshold, fromFile.VasThreshold, fallback.VasThreshold, fromFile.VasThreshold >= 0 && fromFile.VasThreshold <= 100,
        "VasThreshold");
  field(r.VasMode, fromFile.VasMode, fallback.VasMode, fromFile.VasMode == 1 || fromFile.VasMode == 2, "VasMode");
  field(r.WrapAround, fromFile.WrapAround, 0, true, "WrapAround");
  field(r.LedBlink, fromFile.LedBlink, 0, true, "LedBlink");
  const bool preset = audio::FormatIdToPreset(static_cast<uint32_t>(fromFile.FormatId)) != 0;
  field(r.FormatId, fromFile.FormatId, fallback.FormatId, preset, "FormatId");
  field(r.PlayMode, fromFile.PlayMode, fallback.PlayMode, fromFile.PlayMode >= 1 && fromFile.PlayMode <= 4, "PlayMode");
  field(r.AmplifyInput, fromFile.AmplifyInput, 0, true, "AmplifyInput");
  field(r.AmplifyOutput, fromFile.AmplifyOutput, 0, true, "AmplifyOutput");
  for (int i = 0; i < settings::kButtonCount; ++i) {
    field(r.Buttons[i].Key, fromFile.Buttons[i].Key, fallback.Buttons[i].Key, fromFile.Buttons[i].Key == fallback.Buttons[i].Key,
          "a binding's key");
    field(r.Buttons[i].Action, fromFile.Buttons[i].Action, fallback.Buttons[i].Action,
          fromFile.Buttons[i].Action < settings::kButtonActionCount, "a binding's action");
  }
  CheckText(r.Folder, data + offsetof(settings::SettingsRecord, Folder), fallback.Folder, "Folder");
  CheckText(r.Storage, data + offsetof(settings::SettingsRecord, Storage), fallback.Storage, "Storage");

  // Saved and loaded again, the record is the same.
  const settings::SettingsRecord first = r;
  Check(store.Save(), "the record could not be saved");
  settings::SettingsStore again;
  Check(again.Load() && std::memcmp(&again.Record, &first, sizeof first) == 0,
        "the saved record loads back changed");

  // Whatever format identifier the file holds is handled where it is used.
  const auto formatId = static_cast<uint32_t>(r.FormatId);
  audio::WaveFormatEx format{};
  audio::PcmFormatForId(formatId, &format);
  audio::FormatIdToPreset(formatId);
  audio::PresetLabelsForId(formatId);
  audio::PresetBytesPerSecond(formatId);
  audio::FormatName(formatId);
  audio::WaveFileStream stream;
  stream.SetFormat(formatId);
  Check(stream.GetFormat() != nullptr, "no format for the stream");
  return 0;
}
