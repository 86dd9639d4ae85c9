#include "platform/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::WriteHostFile;

constexpr char16_t kRecordKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";

class RegistryTest : public ::testing::Test {
 protected:
  testsupport::TempRoots roots_;
};

TEST_F(RegistryTest, ValuesRoundTripThroughTheStore) {
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);  // no value until written
  EXPECT_FALSE(Registry::CreateKey(u""));

  const std::u16string command = u"\"\\Program Files\\Quillon\\Quillon.exe\"";
  const std::u16string other = u"a=b %41 line\nnext \u00c4 \U0001F600";
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, command));
  ASSERT_TRUE(Registry::WriteDefault(u"Other", other));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), command);
  EXPECT_EQ(Registry::ReadDefault(u"software\\microsoft\\shell\\keys\\40c5"), command);
  EXPECT_EQ(Registry::ReadDefault(u"Other"), other);

  // Replacing one value keeps the others, and the store is plain UTF-8 text.
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"\"\\Windows\\AppButtons\\Record.lnk\" -b"));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), u"\"\\Windows\\AppButtons\\Record.lnk\" -b");
  EXPECT_EQ(Registry::ReadDefault(u"Other"), other);
  const std::string store = testsupport::ReadHostFile(roots_.Config() + "/registry.txt");
  EXPECT_NE(store.find("SOFTWARE\\Microsoft\\Shell\\Keys\\40C5=\"\\Windows\\AppButtons\\Record.lnk\" -b\n"),
            std::string::npos);
  EXPECT_NE(store.find("Other=a%3Db %2541 line%0Anext \xC3\x84"), std::string::npos);

  // An empty value exists, and creating the key again keeps it.
  ASSERT_TRUE(Registry::WriteDefault(u"Empty", u""));
  ASSERT_TRUE(Registry::CreateKey(u"Empty"));
  EXPECT_EQ(Registry::ReadDefault(u"Empty"), u"");
}

TEST_F(RegistryTest, ReadsAStoreWrittenByHand) {
  ASSERT_TRUE(WriteHostFile(roots_.Config() + "/registry.txt", "Empty\r\n\r\nKey=va%3dlue\r\n"));
  EXPECT_EQ(Registry::ReadDefault(u"Key"), u"va=lue");
  EXPECT_EQ(Registry::ReadDefault(u"Empty"), std::nullopt);
  EXPECT_EQ(GetLastError(), ENOENT);
}

TEST_F(RegistryTest, FirstWriteCreatesTheConfigurationFolderAnUnwritableOneFails) {
  roots_.RemoveConfig();
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);
  EXPECT_FALSE(fs::exists(roots_.Config()));
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"x"));
  EXPECT_TRUE(fs::is_regular_file(roots_.Config() + "/registry.txt"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(roots_.Config()), fs::directory_iterator()), 1);

  const std::string blocker = roots_.Base() + "/not-a-folder";
  ASSERT_TRUE(WriteHostFile(blocker, "x"));
  DevicePaths::SetConfigRoot(blocker);
  SetLastError(0);
  EXPECT_FALSE(Registry::WriteDefault(kRecordKey, u"x"));
  EXPECT_NE(GetLastError(), 0);
  EXPECT_FALSE(Registry::CreateKey(kRecordKey));
}

TEST_F(RegistryTest, ConcurrentWritersKeepEveryKey) {
  auto key = [](int t, int i) { return u"K" + std::u16string{char16_t(u'0' + t), char16_t(u'0' + i)}; };
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t, &key] {
      for (int i = 0; i < 10; ++i) ASSERT_TRUE(Registry::WriteDefault(key(t, i), key(t, i)));
    });
  }
  for (std::thread& w : writers) w.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Registry::ReadDefault(key(t, i)), key(t, i));
  }
}

}  // namespace
}  // namespace platform
