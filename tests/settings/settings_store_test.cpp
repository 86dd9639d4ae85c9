#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_roots.h"

namespace {

using settings::SettingsRecord;
using settings::SettingsStore;

std::string Bytes(const SettingsRecord& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

int32_t IntAt(const std::string& bytes, size_t offset) {
  int32_t value;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// The string at offset, read up to its terminator within chars characters.
std::u16string TextAt(const std::string& bytes, size_t offset, size_t chars) {
  std::u16string text;
  for (size_t i = 0; i < chars; ++i) {
    char16_t c;
    std::memcpy(&c, bytes.data() + offset + 2 * i, 2);
    if (c == 0) break;
    text += c;
  }
  return text;
}

// A record with every byte set, so that no field is zero by chance.
SettingsRecord Filled(unsigned char value) {
  SettingsRecord record;
  std::memset(&record, value, sizeof record);
  return record;
}

// A record of varied content: strings followed by leftovers of longer ones.
SettingsRecord Varied() {
  SettingsRecord record = Filled(0);
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  std::memcpy(record.Folder, u"Work", 10);
  std::memcpy(record.Storage, u"SD\0ard", 12);
  return record;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  std::string SettingsFile() const { return roots_.Config() + "/settings.dat"; }

  testsupport::TempRoots roots_;
};

TEST_F(SettingsStoreTest, PathIsTheProgramFolderAndSettingsDat) {
  SettingsStore store;
  EXPECT_EQ(std::u16string(store.Path), u"\\Program Files\\Quillon\\settings.dat");
  EXPECT_EQ(store.StartPage, 0);
}

TEST_F(SettingsStoreTest, DefaultsSitAtTheirOffsets) {
  SettingsStore store;
  store.Record = Filled(0xAB);
  EXPECT_TRUE(store.SetDefaults());
  const std::string bytes = Bytes(store.Record);

  EXPECT_EQ(IntAt(bytes, 0), 100);
  EXPECT_EQ(IntAt(bytes, 4), 0);
  EXPECT_EQ(IntAt(bytes, 8), 1);
  EXPECT_EQ(IntAt(bytes, 12), 1);
  EXPECT_EQ(IntAt(bytes, 16), 1);
  EXPECT_EQ(IntAt(bytes, 20), 49);
  EXPECT_EQ(TextAt(bytes, 24, 260), u"All Folders");
  EXPECT_EQ(IntAt(bytes, 544), 3);
  EXPECT_EQ(IntAt(bytes, 548), 0);
  EXPECT_EQ(IntAt(bytes, 552), 0);
  EXPECT_EQ(TextAt(bytes, 556, 32), u"Main Memory");
  const uint32_t keys[10] = {38, 40, 37, 39, 134, 193, 194, 195, 196, 197};
  const uint32_t actions[10] = {4, 5, 7, 6, 2, 1, 3, 8, 9, 1};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(IntAt(bytes, 620 + 8 * i), static_cast<int32_t>(keys[i])) << "entry " << i;
    EXPECT_EQ(IntAt(bytes, 624 + 8 * i), static_cast<int32_t>(actions[i])) << "entry " << i;
  }
  // Everything after the strings' terminators is zero.
  EXPECT_EQ(bytes.substr(24 + 2 * 11, 520 - 2 * 11), std::string(520 - 22, '\0'));
  EXPECT_EQ(bytes.substr(556 + 2 * 11, 64 - 2 * 11), std::string(64 - 22, '\0'));
}

TEST_F(SettingsStoreTest, ResetBindingsClearOnlyTheApplicationKeys) {
  settings::ButtonBinding full[10], reset[10];
  SettingsStore::SetDefaultBindings(full, true);
  SettingsStore::SetDefaultBindings(reset, false);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(reset[i].Key, full[i].Key);
    if (i < 5) {
      EXPECT_EQ(reset[i].Action, full[i].Action) << "entry " << i;
    } else {
      EXPECT_EQ(reset[i].Action, 0u) << "entry " << i;
    }
  }
}

TEST_F(SettingsStoreTest, SavedRecordLoadsBackBitIdentical) {
  SettingsStore saver;
  saver.Record = Varied();
  ASSERT_TRUE(saver.Save());
  EXPECT_EQ(testsupport::ReadHostFile(SettingsFile()), Bytes(saver.Record));

  SettingsStore loader;
  loader.Record = Filled(0x11);
  ASSERT_TRUE(loader.Load());
  EXPECT_EQ(Bytes(loader.Record), Bytes(saver.Record));
}

TEST_F(SettingsStoreTest, MissingOrShortFileLeavesTheRecordUntouched) {
  SettingsStore store;
  store.Record = Filled(0x5A);
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(Bytes(store.Record), Bytes(Filled(0x5A)));

  ASSERT_TRUE(testsupport::WriteHostFile(SettingsFile(), Bytes(Varied()).substr(0, 699)));
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(Bytes(store.Record), Bytes(Filled(0x5A)));
}

TEST_F(SettingsStoreTest, LoadsTheFirst700BytesOfLongerFiles) {
  const std::string record = Bytes(Varied());
  for (const std::string& tail : {std::string(), std::string("x"), std::string(300, 'y')}) {
    ASSERT_TRUE(testsupport::WriteHostFile(SettingsFile(), record + tail));
    SettingsStore store;
    ASSERT_TRUE(store.Load()) << "file of " << 700 + tail.size() << " bytes";
    EXPECT_EQ(Bytes(store.Record), record);
  }
}

TEST_F(SettingsStoreTest, UnterminatedTextsAreEndedInTheirLastElement) {
  SettingsRecord written = Varied();
  for (char16_t& c : written.Folder) c = u'x';
  for (char16_t& c : written.Storage) c = u'y';
  ASSERT_TRUE(testsupport::WriteHostFile(SettingsFile(), Bytes(written)));

  SettingsStore store;
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(std::u16string(store.Record.Folder), std::u16string(259, u'x'));
  EXPECT_EQ(std::u16string(store.Record.Storage), std::u16string(31, u'y'));
  // Nothing else changes.
  written.Folder[259] = 0;
  written.Storage[31] = 0;
  EXPECT_EQ(Bytes(store.Record), Bytes(written));
}

TEST_F(SettingsStoreTest, FirstSaveCreatesTheConfigurationFolder) {
  roots_.RemoveConfig();
  SettingsStore store;
  store.SetDefaults();
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(testsupport::ReadHostFile(SettingsFile()), Bytes(store.Record));
}

TEST_F(SettingsStoreTest, SaveAndLoadFailWhenTheFileCannotBeUsed) {
  // A folder in the file's place can be neither read nor written as a file.
  std::filesystem::create_directory(SettingsFile());
  SettingsStore store;
  store.Record = Filled(0x33);
  EXPECT_FALSE(store.Save());
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(Bytes(store.Record), Bytes(Filled(0x33)));
}

TEST(SettingsRecordTest, AmplifyFlagsCanBeReadWhileTheyAreWritten) {
  // Under ThreadSanitizer this fails if either side were a plain access.
  SettingsRecord record{};
  std::thread reader([&record] {
    int32_t last = 0;
    for (int i = 0; i < 10000; ++i) {
      const int32_t now = settings::ReadAmplifyInput(record);
      EXPECT_GE(now, last);
      last = now;
      settings::ReadAmplifyOutput(record);
    }
  });
  for (int32_t i = 1; i <= 10000; ++i) {
    settings::WriteAmplifyInput(record, i);
    settings::WriteAmplifyOutput(record, i & 1);
  }
  reader.join();
  EXPECT_EQ(settings::ReadAmplifyInput(record), 10000);
  EXPECT_EQ(record.AmplifyOutput, 0);
}

}  // namespace
