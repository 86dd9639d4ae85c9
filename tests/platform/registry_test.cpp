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
using testsupport::ReadHostFile;
using testsupport::TempRoots;
using testsupport::WriteHostFile;

constexpr char16_t kRecordKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";

TEST(RegistryTest, ValuesRoundTripThroughTheStore) {
  TempRoots roots;
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);
  const std::u16string command = u"\"\\Program Files\\Quillon\\Quillon.exe\"";
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, command));
  ASSERT_TRUE(Registry::WriteDefault(u"Other", u"a=b %41 line\nnext \u00c4 \U0001F600"));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), command);
  EXPECT_EQ(Registry::ReadDefault(u"software\\microsoft\\shell\\keys\\40c5"), command);
  EXPECT_EQ(Registry::ReadDefault(u"Other"), u"a=b %41 line\nnext \u00c4 \U0001F600");

  // Replacing one value keeps the others, and the store is plain UTF-8 text.
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"\"\\Windows\\AppButtons\\Record.lnk\" -b"));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), u"\"\\Windows\\AppButtons\\Record.lnk\" -b");
  EXPECT_EQ(Registry::ReadDefault(u"Other"), u"a=b %41 line\nnext \u00c4 \U0001F600");
  const std::string store = ReadHostFile(roots.Config() + "/registry.txt");
  EXPECT_NE(store.find("SOFTWARE\\Microsoft\\Shell\\Keys\\40C5=\"\\Windows\\AppButtons\\Record.lnk\" -b\n"),
            std::string::npos);
  EXPECT_NE(store.find("Other=a%3Db %2541 line%0Anext \xC3\x84"), std::string::npos);
}

TEST(RegistryTest, ReadsAStoreWrittenByHand) {
  TempRoots roots;
  ASSERT_TRUE(WriteHostFile(roots.Config() + "/registry.txt", "Empty\r\n\r\nKey=va%3dlue\r\n"));
  EXPECT_EQ(Registry::ReadDefault(u"Key"), u"va=lue");
  EXPECT_EQ(Registry::ReadDefault(u"Empty"), std::nullopt);
  EXPECT_EQ(GetLastError(), ENOENT);
}

TEST(RegistryTest, CreatedKeyHasNoValueUntilWritten) {
  TempRoots roots;
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u""));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), u"");
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), u"");
  EXPECT_FALSE(Registry::CreateKey(u""));
}

TEST(RegistryTest, FirstWriteCreatesTheConfigurationFolder) {
  TempRoots roots;
  roots.RemoveConfig();
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);
  EXPECT_FALSE(fs::exists(roots.Config()));
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"x"));
  EXPECT_TRUE(fs::is_regular_file(roots.Config() + "/registry.txt"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(roots.Config()), fs::directory_iterator()), 1);
}

TEST(RegistryTest, UnwritableStoreFailsWithAnError) {
  TempRoots roots;
  const std::string blocker = roots.Base() + "/not-a-folder";
  ASSERT_TRUE(WriteHostFile(blocker, "x"));
  DevicePaths::SetConfigRoot(blocker);
  SetLastError(0);
  EXPECT_FALSE(Registry::WriteDefault(kRecordKey, u"x"));
  EXPECT_NE(GetLastError(), 0);
  EXPECT_FALSE(Registry::CreateKey(kRecordKey));
}

TEST(RegistryTest, ConcurrentWritersKeepEveryKey) {
  TempRoots roots;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        const std::u16string key = u"K" + std::u16string(1, static_cast<char16_t>(u'0' + t)) +
                                   std::u16string(1, static_cast<char16_t>(u'0' + i));
        ASSERT_TRUE(Registry::WriteDefault(key, key));
      }
    });
  }
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(Registry::ReadDefault(u"K00"), u"K00");
  EXPECT_EQ(Registry::ReadDefault(u"K39"), u"K39");
  EXPECT_EQ(Registry::ReadDefault(u"K21"), u"K21");
}

}  // namespace
}  // namespace platform
