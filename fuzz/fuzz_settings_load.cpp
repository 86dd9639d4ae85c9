// Arbitrary bytes as settings.dat. Load takes the first 700 bytes of a file
// that has them and refuses a shorter one, leaving the record as it was; a
// loaded record is the file's bytes except that each text field ends within
// its array; it saves and loads back unchanged; and the format identifier,
// whatever it is, goes through the presets and a stream's SetFormat.
//
//   fuzz_settings_load -max_total_time=60 CORPUS_DIR tests/data/settings

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "platform/device_paths.h"
#include "settings/settings_store.h"

namespace {

// The program's folder for the whole run: a private folder, in memory when
// the machine has /dev/shm, removed at exit.
std::string g_folder;

void RemoveFolder() { std::filesystem::remove_all(g_folder); }

const std::string& ConfigFolder() {
  if (g_folder.empty()) {
    std::string pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz-settings.XXXXXX" : "/tmp/fuzz-settings.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_folder = pattern;
    std::atexit(RemoveFolder);
    platform::DevicePaths::SetConfigRoot(g_folder);
  }
  return g_folder;
}

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_settings_load: %s\n", what);
  std::abort();
}

// A text array from the file as Load must leave it: terminated in its last
// element when the file's array had no terminator, untouched otherwise.
template <size_t N>
void CheckText(const char16_t (&loaded)[N], const uint8_t* fileText, const char* what) {
  char16_t expected[N];
  std::memcpy(expected, fileText, sizeof expected);
  if (std::find(expected, expected + N, u'\0') == expected + N) expected[N - 1] = u'\0';
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
  CheckText(r.Folder, data + offsetof(settings::SettingsRecord, Folder), "Folder");
  CheckText(r.Storage, data + offsetof(settings::SettingsRecord, Storage), "Storage");
  // Every byte outside the two text fields is the file's.
  const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
  Check(std::memcmp(bytes, data, offsetof(settings::SettingsRecord, Folder)) == 0, "fields before Folder");
  const size_t afterFolder = offsetof(settings::SettingsRecord, PlayMode);
  Check(std::memcmp(bytes + afterFolder, data + afterFolder,
                    offsetof(settings::SettingsRecord, Storage) - afterFolder) == 0,
        "fields between Folder and Storage");
  const size_t buttons = offsetof(settings::SettingsRecord, Buttons);
  Check(std::memcmp(bytes + buttons, data + buttons, settings::kRecordSize - buttons) == 0,
        "the key bindings");

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
