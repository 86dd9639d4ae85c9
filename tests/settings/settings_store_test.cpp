#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// Varied content: strings followed by leftovers of longer ones.
SettingsRecord Varied() {
  SettingsRecord record;
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

// The file as other copies of the program read it: each value at its offset,
// each text followed by zeros only. The bindings are the Buttons page's.
TEST_F(SettingsStoreTest, DefaultsSitAtTheirOffsets) {
  SettingsStore store;
  EXPECT_EQ(std::u16string(store.Path), u"\\Program Files\\Quillon\\settings.dat");
  store.Record = Filled(0xAB);
  EXPECT_TRUE(store.SetDefaults());
  const std::string bytes = Bytes(store.Record);
  std::vector<int32_t> ints(bytes.size() / 4);
  std::memcpy(ints.data(), bytes.data(), ints.size() * 4);
  for (auto [offset, value] : {std::pair{0, 100}, {4, 0}, {8, 1}, {12, 1}, {16, 1}, {20, 49}, {544, 3}, {548, 0},
                               {552, 0}, {620, 38}, {692, 197}})
    EXPECT_EQ(ints[offset / 4], value) << "offset " << offset;
  const auto padded = [](std::u16string text, size_t size) {
    text.resize(size / 2);
    return std::string(reinterpret_cast<const char*>(text.data()), size);
  };
  EXPECT_EQ(bytes.substr(24, 520), padded(u"All Folders", 520));
  EXPECT_EQ(bytes.substr(556, 64), padded(u"Main Memory", 64));
}

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
