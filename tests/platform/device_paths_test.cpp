#include "platform/device_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "support/temp_roots.h"

namespace platform {
namespace {

using testsupport::TempRoots;

TEST(DevicePathsTest, MapsEachRoot) {
  TempRoots roots({u"Storage Card", u"USBSTICK"});
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\Quillon\\Recording00.wav"),
            roots.Documents() + "/Quillon/Recording00.wav");
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents"), roots.Documents());
  EXPECT_EQ(DevicePaths::ToHost(u"\\Program Files\\Quillon\\settings.dat"), roots.Config() + "/settings.dat");
  EXPECT_EQ(DevicePaths::ToHost(u"\\Storage Card\\Quillon"), roots.Card(u"Storage Card") + "/Quillon");
  EXPECT_EQ(DevicePaths::ToHost(u"\\USBSTICK\\Quillon\\a.wav"), roots.Card(u"USBSTICK") + "/Quillon/a.wav");
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\\u00c4rger.wav"), roots.Documents() + "/\xC3\x84rger.wav");
  EXPECT_EQ(DevicePaths::ToHost(DevicePaths::ModuleFileName()), roots.Config() + "/Quillon.exe");
  EXPECT_EQ(DevicePaths::ModuleFileName(), u"\\Program Files\\Quillon\\Quillon.exe");
}

TEST(DevicePathsTest, RootNamesIgnoreLetterCase) {
  TempRoots roots;
  EXPECT_EQ(DevicePaths::ToHost(u"\\MY DOCUMENTS\\Quillon"), roots.Documents() + "/Quillon");
  EXPECT_EQ(DevicePaths::ToHost(u"\\program files\\QUILLON\\settings.dat"), roots.Config() + "/settings.dat");
  EXPECT_EQ(DevicePaths::ToHost(u"\\storage card\\Quillon"), roots.Card(u"Storage Card") + "/Quillon");
}

TEST(DevicePathsTest, PathsOutsideEveryRootHaveNoHostPath) {
  TempRoots roots;
  EXPECT_EQ(DevicePaths::ToHost(u""), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"My Documents\\a.wav"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\Windows\\AppButtons\\Record.lnk"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\Program Files\\Other\\x"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\Program Files"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\SD Card\\Quillon"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(std::u16string(u"\\My Documents\\a\0b", 17)), std::nullopt);
}

TEST(DevicePathsTest, DotComponentsStayInsideTheirRoot) {
  TempRoots roots;
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\a\\..\\b.wav"), roots.Documents() + "/b.wav");
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\.\\\\b.wav"), roots.Documents() + "/b.wav");
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\..\\Storage Card\\x"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\Program Files\\Quillon\\..\\x"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\Storage Card\\a\\..\\..\\etc"), std::nullopt);
  EXPECT_EQ(DevicePaths::ToHost(u"\\My Documents\\a/../../etc/passwd"), std::nullopt);
}

TEST(DevicePathsTest, DefaultsFollowTheEnvironment) {
  DevicePaths::ResetToDefaults();
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", "/tmp/quillon-xdg/", 1);
  EXPECT_EQ(DevicePaths::ConfigRoot(), "/tmp/quillon-xdg/quillon");
  ::unsetenv("XDG_CONFIG_HOME");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  if (!home.empty()) {
    EXPECT_EQ(DevicePaths::ConfigRoot(), home + "/.config/quillon");
  }
  if (previous) ::setenv("XDG_CONFIG_HOME", previous->c_str(), 1);
  EXPECT_FALSE(DevicePaths::DocumentsRoot().empty());
}

TEST(DevicePathsTest, SetRootsReplaceAndResetRestores) {
  DevicePaths::ResetToDefaults();
  const std::string defaultDocuments = DevicePaths::DocumentsRoot();
  DevicePaths::SetDocumentsRoot("/tmp/elsewhere/");
  EXPECT_EQ(DevicePaths::DocumentsRoot(), "/tmp/elsewhere");
  DevicePaths::SetStorageCards({{u"SD", "/tmp/sd"}});
  ASSERT_EQ(DevicePaths::StorageCards().size(), 1u);
  EXPECT_EQ(DevicePaths::ToHost(u"\\SD\\x"), "/tmp/sd/x");
  DevicePaths::ResetToDefaults();
  EXPECT_EQ(DevicePaths::DocumentsRoot(), defaultDocuments);
  // The machine's own removable volumes, whatever they are, are usable roots.
  for (const StorageCard& card : DevicePaths::StorageCards()) {
    EXPECT_FALSE(card.name.empty());
    EXPECT_EQ(DevicePaths::ToHost(u"\\" + card.name + u"\\x"), card.hostPath + "/x");
  }
}

TEST(DevicePathsTest, RootsMayChangeWhileOtherThreadsMapPaths) {
  TempRoots roots;
  std::thread reader([] {
    for (int i = 0; i < 500; ++i) {
      const std::optional<std::string> host = DevicePaths::ToHost(u"\\My Documents\\x");
      ASSERT_TRUE(host.has_value());
      ASSERT_EQ(host->substr(host->size() - 2), "/x");
    }
  });
  for (int i = 0; i < 500; ++i) DevicePaths::SetDocumentsRoot(roots.Documents() + (i % 2 ? "/a" : "/b"));
  reader.join();
}

}  // namespace
}  // namespace platform
