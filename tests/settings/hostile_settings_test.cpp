// settings.dat and preferences.txt as a hostile or damaged disk leaves them:
// values out of their ranges, FIFOs, folders and links under their names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/file.h"
#include "platform/last_error.h"
#include "settings/record_ranges.h"
#include "settings/settings_store.h"
#include "support/fifo_files.h"
#include "support/temp_roots.h"

namespace {

namespace fs = std::filesystem;
using settings::SettingsRecord;
using settings::SettingsStore;
using testsupport::FinishesWithoutWaitingOn;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

std::string Bytes(const SettingsRecord& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

template <size_t N>
void SetText(char16_t (&text)[N], std::u16string_view value) {
  std::memset(text, 0, sizeof text);
  std::memcpy(text, value.data(), std::min(value.size(), N) * sizeof(char16_t));
}

class HostileSettingsTest : public ::testing::Test {
 protected:
  std::string SettingsFile() const { return roots_.Config() + "/settings.dat"; }
  testsupport::TempRoots roots_;
};

// Each damaged field reads as its default and every other field as the file
// has it; a field at the edge of its range stays.
TEST_F(HostileSettingsTest, FieldsOutOfTheirRangesReadAsTheirDefaultsOneByOne) {
  const SettingsRecord defaults = SettingsStore::DefaultRecord();
  // A record unlike the defaults wherever it is valid, to see what is kept.
  SettingsRecord base = defaults;
  base.Volume = 55;
  base.VasThreshold = 20;
  base.VasMode = 2;
  base.FormatId = 4096;
  base.PlayMode = 1;
  base.LedBlink = 7;  // any value: its readers test for non-zero
  SetText(base.Folder, u"Work");
  SetText(base.Storage, u"SD Card");
  base.Buttons[3].Action = 10;

  using Edit = std::function<void(SettingsRecord&)>;
  const struct {
    const char* what;
    Edit damage;  // a value out of range
    Edit expect;  // the same field as it must read
    Edit edge;    // a value at the edge of the range, which stays
  } cases[] = {
      {"Volume", [](auto& r) { r.Volume = 101; }, [&](auto& r) { r.Volume = defaults.Volume; },
       [](auto& r) { r.Volume = 0; }},
      {"negative Volume", [](auto& r) { r.Volume = -1; }, [&](auto& r) { r.Volume = defaults.Volume; },
       [](auto& r) { r.Volume = 100; }},
      {"VasThreshold", [](auto& r) { r.VasThreshold = 1000; },
       [&](auto& r) { r.VasThreshold = defaults.VasThreshold; }, [](auto& r) { r.VasThreshold = 100; }},
      {"VasMode", [](auto& r) { r.VasMode = 3; }, [&](auto& r) { r.VasMode = defaults.VasMode; },
       [](auto& r) { r.VasMode = 1; }},
      {"FormatId -1", [](auto& r) { r.FormatId = -1; }, [&](auto& r) { r.FormatId = defaults.FormatId; },
       [](auto& r) { r.FormatId = 64; }},
      {"FormatId 12345", [](auto& r) { r.FormatId = 12345; }, [&](auto& r) { r.FormatId = defaults.FormatId; },
       [](auto& r) { r.FormatId = 1; }},
      {"FormatId INT_MAX", [](auto& r) { r.FormatId = INT32_MAX; },
       [&](auto& r) { r.FormatId = defaults.FormatId; }, [](auto& r) { r.FormatId = 49; }},
      {"FormatId 44 kHz (no preset)", [](auto& r) { r.FormatId = 1024; },
       [&](auto& r) { r.FormatId = defaults.FormatId; }, [](auto& r) { r.FormatId = 8192; }},
      {"PlayMode", [](auto& r) { r.PlayMode = 0; }, [&](auto& r) { r.PlayMode = defaults.PlayMode; },
       [](auto& r) { r.PlayMode = 4; }},
      {"Folder with a path", [](auto& r) { SetText(r.Folder, u"..\\..\\etc"); },
       [&](auto& r) { std::memcpy(r.Folder, defaults.Folder, sizeof r.Folder); },
       [](auto& r) { SetText(r.Folder, u"Records"); }},
      {"empty Folder", [](auto& r) { SetText(r.Folder, u""); },
       [&](auto& r) { std::memcpy(r.Folder, defaults.Folder, sizeof r.Folder); },
       [](auto& r) { SetText(r.Folder, u"a"); }},
      {"Storage ..", [](auto& r) { SetText(r.Storage, u".."); },
       [&](auto& r) { std::memcpy(r.Storage, defaults.Storage, sizeof r.Storage); },
       [](auto& r) { SetText(r.Storage, u"...");}},
      {"Storage with a line break", [](auto& r) { SetText(r.Storage, u"SD\nCard"); },
       [&](auto& r) { std::memcpy(r.Storage, defaults.Storage, sizeof r.Storage); },
       [](auto& r) { SetText(r.Storage, u"SD \U0001F4BE"); }},
      {"Storage with a lone surrogate", [](auto& r) { SetText(r.Storage, u"SD\xD800"); },
       [&](auto& r) { std::memcpy(r.Storage, defaults.Storage, sizeof r.Storage); },
       [](auto& r) { SetText(r.Storage, u"Main Memory"); }},
      {"a binding's key", [](auto& r) { r.Buttons[2].Key = 0xFFFFFFFF; },
       [&](auto& r) { r.Buttons[2].Key = defaults.Buttons[2].Key; }, [](auto&) {}},
      {"a binding's action", [](auto& r) { r.Buttons[5].Action = settings::kButtonActionCount; },
       [&](auto& r) { r.Buttons[5].Action = defaults.Buttons[5].Action; },
       [](auto& r) { r.Buttons[5].Action = settings::kButtonActionCount - 1; }},
  };
  for (const auto& c : cases) {
    for (const bool damaged : {true, false}) {
      SettingsRecord written = base;
      (damaged ? c.damage : c.edge)(written);
      ASSERT_TRUE(WriteHostFile(SettingsFile(), Bytes(written)));
      SettingsStore store;
      ASSERT_TRUE(store.Load()) << c.what;
      SettingsRecord expected = written;
      if (damaged) c.expect(expected);
      EXPECT_EQ(Bytes(store.Record), Bytes(expected)) << c.what << (damaged ? "" : " at its edge");
    }
  }
  // Garbage everywhere: the defaults, field by field, where nothing holds.
  SettingsRecord garbage;
  std::memset(&garbage, 0xFF, sizeof garbage);
  ASSERT_TRUE(WriteHostFile(SettingsFile(), Bytes(garbage)));
  SettingsStore store;
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.Record.FormatId, 49);
  EXPECT_EQ(store.Record.Volume, 100);
  EXPECT_EQ(store.Record.LedBlink, -1) << "kept: any value is on";
  for (int i = 0; i < settings::kButtonCount; ++i) {
    EXPECT_EQ(store.Record.Buttons[i].Key, defaults.Buttons[i].Key);
    EXPECT_EQ(store.Record.Buttons[i].Action, defaults.Buttons[i].Action);
  }
}

// Something there that cannot be read: the defaults for this run, and the
// thing itself kept at exit, with the reason known. A missing file is saved.
TEST_F(HostileSettingsTest, AnUnreadableSettingsFileIsKeptAndAMissingOneIsWritten) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> make;
    int error;
  } cases[] = {
      {"FIFO", [](const std::string& p) { ASSERT_TRUE(testsupport::MakeFifo(p)); },
       platform::kNotRegularFileError},
      {"folder", [](const std::string& p) { fs::create_directory(p); }, EISDIR},
      {"link to a FIFO",
       [this](const std::string& p) {
         ASSERT_TRUE(testsupport::MakeFifo(roots_.Base() + "/fifo"));
         fs::create_symlink(roots_.Base() + "/fifo", p);
       },
       platform::kNotRegularFileError},
  };
  for (const auto& c : cases) {
    fs::remove_all(SettingsFile());
    fs::remove_all(roots_.Base() + "/fifo");
    c.make(SettingsFile());
    SettingsStore store;
    store.SetDefaults();
    bool loaded = true;
    ASSERT_TRUE(FinishesWithoutWaitingOn(fs::is_symlink(SettingsFile()) ? roots_.Base() + "/fifo" : SettingsFile(),
                                         [&] { loaded = store.Load(); }))
        << c.what << " made the start wait";
    EXPECT_FALSE(loaded) << c.what;
    EXPECT_EQ(store.UnreadableError, c.error) << c.what;
    EXPECT_FALSE(store.Save()) << c.what << " was replaced by the defaults";
    EXPECT_EQ(platform::GetLastError(), c.error) << c.what;
    EXPECT_TRUE(fs::exists(fs::symlink_status(SettingsFile()))) << c.what;
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(SettingsFile()))) << c.what;
  }
  fs::remove_all(SettingsFile());
  SettingsStore fresh;
  EXPECT_FALSE(fresh.Load());
  EXPECT_EQ(fresh.UnreadableError, 0);
  fresh.SetDefaults();
  EXPECT_TRUE(fresh.Save());
  EXPECT_EQ(ReadHostFile(SettingsFile()), Bytes(SettingsStore::DefaultRecord()));
}

// preferences.txt as a FIFO: every default, at once, and a change is not
// written over it.
TEST_F(HostileSettingsTest, APreferencesFifoMeansDefaultsAndIsKept) {
  const std::string file = roots_.Config() + "/preferences.txt";
  ASSERT_TRUE(testsupport::MakeFifo(file));
  settings::PreferencesStore store;
  bool loaded = true;
  ASSERT_TRUE(FinishesWithoutWaitingOn(file, [&] { loaded = store.Load(); }));
  EXPECT_FALSE(loaded);
  EXPECT_EQ(store.UnreadableError, platform::kNotRegularFileError);
  store.Set("Speed", "2");
  EXPECT_FALSE(store.Save());
  EXPECT_TRUE(fs::is_fifo(file));
}

}  // namespace
