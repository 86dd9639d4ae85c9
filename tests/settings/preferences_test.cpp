// preferences.txt: what is read from it, what is written back, and what a
// damaged or hostile file leaves.
#include "settings/preferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_roots.h"

namespace {

using settings::PreferencesStore;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

class PreferencesTest : public ::testing::Test {
 protected:
  std::string File() const { return roots_.Config() + "/preferences.txt"; }
  testsupport::TempRoots roots_;
};

TEST_F(PreferencesTest, ReadsLinesTolerantlyAndNumbersWithinTheirRange) {
  ASSERT_TRUE(WriteHostFile(File(),
                            "# a comment\n"
                            "RecordDevice = alsa_input.usb-Headset.mono \r\n"
                            "no equals sign here\n"
                            "bad key!=1\n"
                            "PreRollMs=300\n"
                            "Big=99999999999999999999\n"
                            "Negative=-5\n"
                            "Text=12abc\n"
                            "Empty=\n"
                            "PreRollMs=400"));  // the last one wins; no final line end
  PreferencesStore store;
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.Get("RecordDevice"), "alsa_input.usb-Headset.mono");
  EXPECT_EQ(store.Get("Missing", "fallback"), "fallback");
  EXPECT_EQ(store.Get("Empty", "fallback"), "");
  EXPECT_EQ(store.Get("bad key!"), "");
  struct Case {
    const char* key;
    int expected;
  } cases[] = {{"PreRollMs", 400}, {"Big", 7}, {"Negative", 7}, {"Text", 7}, {"Missing", 7}, {"Empty", 7}};
  for (const Case& c : cases) EXPECT_EQ(store.GetInt(c.key, 7, 0, 1000), c.expected) << c.key;
  EXPECT_EQ(store.GetInt("Negative", 7, -10, 10), -5);
}

TEST_F(PreferencesTest, SavesChangesWithUnknownKeysKeptAndRoundTrips) {
  ASSERT_TRUE(WriteHostFile(File(), "FromANewerVersion=yes\nPlaybackSpeed=100\n"));
  PreferencesStore store;
  ASSERT_TRUE(store.Load());
  store.SetInt("PlaybackSpeed", 100);
  EXPECT_FALSE(store.Changed()) << "the value it already had";
  store.SetInt("PlaybackSpeed", 75);
  store.Set("PlayDevice", "line one\nline two");
  ASSERT_TRUE(store.Changed());
  ASSERT_TRUE(store.Save());
  EXPECT_FALSE(std::filesystem::exists(File() + ".new"));

  PreferencesStore again;
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.GetInt("PlaybackSpeed", 100, 1, 1000), 75);
  EXPECT_EQ(again.Get("PlayDevice"), "line one");
  EXPECT_EQ(again.Get("FromANewerVersion"), "yes");
}

TEST_F(PreferencesTest, AFileThatCannotBeReadMeansDefaultsAndIsLeftAlone) {
  // A folder in the file's place: nothing can be read, and with nothing
  // changed nothing is written over it.
  std::filesystem::create_directories(File());
  PreferencesStore store;
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(store.GetInt("PreRollMs", 300, 0, 1000), 300);
  EXPECT_TRUE(store.Save());
  EXPECT_TRUE(std::filesystem::is_directory(File()));
  // A change the user made must not vanish silently: the save says it failed.
  store.SetInt("PreRollMs", 500);
  EXPECT_FALSE(store.Save());
}

TEST_F(PreferencesTest, ReadsNoMoreThanItsLimitOfAHugeFile) {
  std::string huge = "First=1\n";
  huge += std::string(PreferencesStore::kMaxFileBytes, 'x') + "\nLate=2\n";
  huge += "Long=" + std::string(PreferencesStore::kMaxValueBytes * 4, 'v') + "\n";
  ASSERT_TRUE(WriteHostFile(File(), huge));
  PreferencesStore store;
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.Get("First"), "1");
  EXPECT_EQ(store.Get("Late", "beyond the limit"), "beyond the limit");
  store.Set("Long", std::string(PreferencesStore::kMaxValueBytes * 4, 'v'));
  EXPECT_EQ(store.Get("Long").size(), PreferencesStore::kMaxValueBytes);
}

}  // namespace
