// Device paths, the files, folders and free space behind them, and the
// registry store kept in one of them.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>


#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testsupport::WriteHostFile;

TEST(DevicePathsTest, MapsEachRootAndNothingOutsideThem) {
  testsupport::TempRoots roots;
  const std::string docs = roots.Documents(), config = roots.Config();
  const struct { std::u16string device; std::optional<std::string> host; } cases[] = {
      {u"\\My Documents", docs},
      {DevicePaths::ModuleFileName(), config + "/Quillon.exe"},
      {u"\\program files\\QUILLON\\settings.dat", config + "/settings.dat"},
      {u"\\storage card\\Quillon", roots.Card(u"Storage Card") + "/Quillon"},
      {u"\\My Documents\\a\\..\\.\\\\b.wav", docs + "/b.wav"},
      // Dot components stay inside their root.
      {u"\\My Documents\\..\\Storage Card\\x", std::nullopt},
      {u"\\My Documents\\a/../../etc/passwd", std::nullopt},
      {u"My Documents\\a.wav", std::nullopt},
      {u"\\SD Card\\Quillon", std::nullopt},
      {std::u16string(u"\\My Documents\\a\0b", 17), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePaths::ToHost(c.device), c.host) << ToUtf8(c.device);
  EXPECT_EQ(DevicePaths::ModuleFileName(), u"\\Program Files\\Quillon\\Quillon.exe");
}

// The desktop's documents folder is followed as user-dirs.dirs changes while
// the program runs (it is looked up again only when the file changed).
TEST(DevicePathsTest, TheDocumentsFolderFollowsTheDesktopsFolderNames) {
  DevicePaths::ResetToDefaults();
  const fs::path home = fs::temp_directory_path() / ("quillon-userdirs-" + std::to_string(::getpid()));
  fs::create_directories(home / "config");
  const char* oldHome = std::getenv("HOME");
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string savedHome = oldHome ? oldHome : "", savedConfig = oldConfig ? oldConfig : "";
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  for (const char* name : {"Papers", "Schriftstuecke", "Papers"}) {
    WriteHostFile((home / "config/user-dirs.dirs").string(), std::string("XDG_DOCUMENTS_DIR=\"$HOME/") + name + "\"\n");
    EXPECT_EQ(DevicePaths::DocumentsRoot(), (home / name).string());
  }
  fs::remove(home / "config/user-dirs.dirs");
  EXPECT_EQ(DevicePaths::DocumentsRoot(), (home / "Documents").string()) << "without the file, the usual folder";
  setenv("HOME", savedHome.c_str(), 1);
  if (oldConfig == nullptr) unsetenv("XDG_CONFIG_HOME"); else setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  fs::remove_all(home);
}

class FileTest : public ::testing::Test {
 protected:
  // Expects a failed call and the error it left.
  static void ExpectError(bool ok, int error) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), error);
    SetLastError(0);
  }
  std::string Docs(const char* name) const { return roots_.Documents() + "/" + name; }
  testsupport::TempRoots roots_;
};

TEST_F(FileTest, AttributesFoldersAndFreeSpaceAndAMissingDocumentsFolderIsMade) {
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kInvalidAttributes);
  ExpectError(false, ENOENT);
  ASSERT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon"), kAttrDirectory);
  ExpectError(CreateDirectory(u"\\my documents\\Quillon"), EEXIST);
  ASSERT_TRUE(WriteHostFile(Docs("Quillon/Recording00.wav"), "RIFF"));
  EXPECT_EQ(GetFileAttributes(u"\\My Documents\\Quillon\\Recording00.wav"), kAttrNormal);
  // Only the last level is made.
  ExpectError(CreateDirectory(u"\\Storage Card\\Quillon\\Sub"), ENOENT);
  EXPECT_TRUE(CreateDirectory(u"\\Storage Card\\Quillon"));
  EXPECT_TRUE(fs::is_directory(roots_.Card(u"Storage Card") + "/Quillon"));
  uint64_t free = 0;
  ASSERT_TRUE(GetDiskFreeSpace(u"\\My Documents", &free));
  EXPECT_GT(free, 0u);
  // A fresh machine has no documents folder: it is made on first use, a
  // missing card never is.
  fs::remove_all(roots_.Documents());
  fs::remove_all(roots_.Card(u"Storage Card"));
  EXPECT_TRUE(CreateDirectory(u"\\My Documents\\Quillon"));
  ExpectError(CreateDirectory(u"\\Storage Card\\Quillon"), ENOENT);
  EXPECT_FALSE(fs::exists(roots_.Card(u"Storage Card")));
}

// The launch entry of the Record button lives in the registry store.
TEST_F(FileTest, RegistryValuesRoundTripThroughAPlainTextStore) {
  constexpr char16_t kRecordKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";
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
