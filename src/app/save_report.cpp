#include "app/save_report.h"

#include <cstdio>

#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/settings_store.h"
#include "view/default_recorder.h"

namespace app {

namespace {

std::string HostPathOf(const std::u16string& devicePath) {
  return platform::DevicePaths::ToHost(devicePath).value_or(platform::ToUtf8(devicePath));
}

}  // namespace

std::u16string ReasonText(int error) {
  if (error == platform::kNotRegularFileError) return u"It is not a regular file.";
  std::u16string text = platform::SystemErrorText(error);
  if (text.empty()) text = u"Unknown error: " + platform::FromUtf8(std::to_string(error));
  return text;
}

void SaveReport::Add(const std::u16string& what, const std::string& hostPath, int error, bool unreadable) {
  const std::u16string path = platform::FromUtf8(hostPath);
  std::u16string text;
  if (unreadable) {
    text = what + u" could not be read from " + path +
           u" when the program started, so it ran with the defaults and left the file as it is.";
  } else {
    text = what + u" could not be saved to " + path + u"; the file there is kept as it was.";
  }
  texts_.push_back(text + u"\n" + ReasonText(error));
}

std::u16string SaveReport::Text() const {
  std::u16string all;
  for (const std::u16string& text : texts_) all += (all.empty() ? u"" : u"\n\n") + text;
  return all;
}

void SaveReport::Tell(void* owner, bool inBox) const {
  if (Empty()) return;
  std::fprintf(stderr, "quillon: %s\n", platform::ToUtf8(Text()).c_str());
  std::fflush(stderr);
  // As an insert, so that a '%' in a path stays as it is.
  if (inBox) diag::ShowError(owner, u"%1", 0, {Text()});
}

void SaveAll(settings::SettingsStore& store, SaveReport* report) {
  if (!store.Save() && store.Path[0] != u'\0') {
    const bool unreadable = store.UnreadableError != 0;
    report->Add(u"The settings", HostPathOf(store.Path), platform::GetLastError(), unreadable);
  }
  settings::PreferencesStore& preferences = store.Preferences;
  if (!preferences.Save() && !preferences.Path.empty()) {
    const bool unreadable = preferences.UnreadableError != 0;
    report->Add(u"The preferences", HostPathOf(preferences.Path), platform::GetLastError(), unreadable);
  }
  if (const int error = view::DefaultRecorderSaveError(); error != 0) {
    report->Add(u"The default-recorder setting", platform::Registry::StoreFile(), error, false);
  }
}

}  // namespace app
