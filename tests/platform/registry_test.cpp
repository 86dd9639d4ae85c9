#include "platform/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/last_error.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kRecordKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";

class RegistryTest : public ::testing::Test {
 protected:
  testsupport::TempRoots roots_;
};

TEST_F(RegistryTest, ValuesRoundTripThroughAPlainTextStore) {
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));
  EXPECT_EQ(Registry::ReadDefault(kRecordKey), std::nullopt);  // no value until written
  const std::u16string other = u"a=b %41 line\nnext \u00c4 \U0001F600";
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"\"\\Program Files\\Quillon\\Quillon.exe\""));
  ASSERT_TRUE(Registry::WriteDefault(u"Other", other));
  ASSERT_TRUE(Registry::WriteDefault(kRecordKey, u"\"\\Windows\\AppButtons\\Record.lnk\" -b"));
  ASSERT_TRUE(Registry::CreateKey(kRecordKey));  // keeps the value
  EXPECT_EQ(Registry::ReadDefault(u"software\\microsoft\\shell\\keys\\40c5"),
            u"\"\\Windows\\AppButtons\\Record.lnk\" -b");
  EXPECT_EQ(Registry::ReadDefault(u"Other"), other);
  const std::string store = testsupport::ReadHostFile(roots_.Config() + "/registry.txt");
  EXPECT_NE(store.find("Other=a%3Db %2541 line%0Anext \xC3\x84"), std::string::npos);

  // As written by hand: a line without a value is a key without one.
  ASSERT_TRUE(testsupport::WriteHostFile(roots_.Config() + "/registry.txt", "Empty\r\n\r\nKey=va%3dlue\r\n"));
  EXPECT_EQ(Registry::ReadDefault(u"Key"), u"va=lue");
  EXPECT_EQ(Registry::ReadDefault(u"Empty"), std::nullopt);
  EXPECT_EQ(GetLastError(), ENOENT);
}

}  // namespace
}  // namespace platform
