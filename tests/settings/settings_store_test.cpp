#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_roots.h"

namespace {

using settings::SettingsRecord;
using settings::SettingsStore;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

std::string Bytes(const SettingsRecord& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

SettingsRecord Filled(unsigned char value) {
  SettingsRecord record;
  std::memset(&record, value, sizeof record);
  return record;
}

// Varied content within every field's range: strings followed by leftovers
// of longer ones, on/off fields with any non-zero value.
SettingsRecord Varied() {
  SettingsRecord record;
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  record.Volume = 37;
  record.VasThreshold = 64;
  record.VasMode = 2;
  record.FormatId = 8192;
  record.PlayMode = 4;
  std::memcpy(record.Folder, u"Work", 10);
  std::memcpy(record.Storage, u"SD\0ard", 12);
  SettingsStore::SetDefaultBindings(record.Buttons, false);
  record.Buttons[6].Action = 10;
  return record;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string SettingsFile() const { return roots_.Config() + "/settings.dat"; }
  testsupport::TempRoots roots_;
};

// The defaults are checked where they show: the e2e scripts record GSM
// without amplification or voice activation and play at full volume, once;
// the controller suite starts on "Main Memory"; the Buttons page restores the
// bindings. Every offset is checked when the record compiles.

// The first save on a fresh machine makes the configuration folder. Only
// files of at least 700 bytes load, bit-identical, and only their first 700;
// anything else leaves the record as it was.
TEST_F(SettingsStoreTest, FirstSaveCreatesTheFolderAndTheFirst700BytesOfLargeEnoughFilesLoad) {
  roots_.RemoveConfig();
  SettingsStore saver;
  saver.Record = Varied();
  ASSERT_TRUE(saver.Save());
  const std::string record = ReadHostFile(SettingsFile());
  ASSERT_EQ(record, Bytes(Varied()));
  const std::optional<std::string> files[] = {record, record + "x", record.substr(0, 699), std::nullopt};
  for (const std::optional<std::string>& file : files) {
    std::filesystem::remove(SettingsFile());
    ASSERT_TRUE(!file || WriteHostFile(SettingsFile(), *file));
    const size_t size = file ? file->size() : 0;
    SettingsStore store;
    store.Record = Filled(0x5A);
    EXPECT_EQ(store.Load(), size >= 700) << size << " bytes";
    EXPECT_EQ(Bytes(store.Record), size >= 700 ? record : Bytes(Filled(0x5A))) << size << " bytes";
  }
}

// A corrupt file must not make the program read past a text's array.
TEST_F(SettingsStoreTest, UnterminatedTextsAreEndedInTheirLastElement) {
  SettingsRecord written = Varied();
  for (char16_t& c : written.Folder) c = u'x';
  for (char16_t& c : written.Storage) c = u'y';
  ASSERT_TRUE(WriteHostFile(SettingsFile(), Bytes(written)));
  SettingsStore store;
  ASSERT_TRUE(store.Load());
  written.Folder[259] = 0;
  written.Storage[31] = 0;
  EXPECT_EQ(Bytes(store.Record), Bytes(written)) << "ended there, nothing else changed";
}

// A save that cannot be completed (a full disk) leaves the previous file whole.
TEST_F(SettingsStoreTest, FailedSaveKeepsThePreviousFile) {
  SettingsStore store;
  store.Record = Varied();
  ASSERT_TRUE(store.Save());
  store.Record = Filled(0x44);
  EXPECT_FALSE(testsupport::UnderFileSizeLimit(100, [&] { return store.Save(); }));
  EXPECT_EQ(ReadHostFile(SettingsFile()), Bytes(Varied()));
  EXPECT_FALSE(std::filesystem::exists(SettingsFile() + ".new"));
}

}  // namespace
