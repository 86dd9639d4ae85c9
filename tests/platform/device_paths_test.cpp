#include "platform/device_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "platform/text.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

using testsupport::TempRoots;

TEST(DevicePathsTest, MapsEachRootAndNothingOutsideThem) {
  TempRoots roots({u"Storage Card", u"USBSTICK"});
  const std::string docs = roots.Documents(), config = roots.Config();
  const std::string card = roots.Card(u"Storage Card"), stick = roots.Card(u"USBSTICK");
  const struct {
    std::u16string device;
    std::optional<std::string> host;
  } cases[] = {
      {u"\\My Documents\\Quillon\\Recording00.wav", docs + "/Quillon/Recording00.wav"},
      {u"\\My Documents", docs},
      {u"\\Program Files\\Quillon\\settings.dat", config + "/settings.dat"},
      {u"\\Storage Card\\Quillon", card + "/Quillon"},
      {u"\\USBSTICK\\Quillon\\a.wav", stick + "/Quillon/a.wav"},
      {u"\\My Documents\\\u00c4rger.wav", docs + "/\xC3\x84rger.wav"},
      {DevicePaths::ModuleFileName(), config + "/Quillon.exe"},
      // Root names ignore letter case.
      {u"\\MY DOCUMENTS\\Quillon", docs + "/Quillon"},
      {u"\\program files\\QUILLON\\settings.dat", config + "/settings.dat"},
      {u"\\storage card\\Quillon", card + "/Quillon"},
      // Dot components stay inside their root.
      {u"\\My Documents\\a\\..\\b.wav", docs + "/b.wav"},
      {u"\\My Documents\\.\\\\b.wav", docs + "/b.wav"},
      {u"\\My Documents\\..\\Storage Card\\x", std::nullopt},
      {u"\\Program Files\\Quillon\\..\\x", std::nullopt},
      {u"\\Storage Card\\a\\..\\..\\etc", std::nullopt},
      {u"\\My Documents\\a/../../etc/passwd", std::nullopt},
      // Outside every root.
      {u"", std::nullopt},
      {u"\\", std::nullopt},
      {u"My Documents\\a.wav", std::nullopt},
      {u"\\Windows\\AppButtons\\Record.lnk", std::nullopt},
      {u"\\Program Files\\Other\\x", std::nullopt},
      {u"\\Program Files", std::nullopt},
      {u"\\SD Card\\Quillon", std::nullopt},
      {std::u16string(u"\\My Documents\\a\0b", 17), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePaths::ToHost(c.device), c.host) << ToUtf8(c.device);
  EXPECT_EQ(DevicePaths::ModuleFileName(), u"\\Program Files\\Quillon\\Quillon.exe");
}

TEST(DevicePathsTest, DefaultsFollowTheEnvironmentAndResetRestoresThem) {
  DevicePaths::ResetToDefaults();
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", "/tmp/quillon-xdg/", 1);
  EXPECT_EQ(DevicePaths::ConfigRoot(), "/tmp/quillon-xdg/quillon");
  ::unsetenv("XDG_CONFIG_HOME");
  if (const char* home = std::getenv("HOME"); home && *home) {
    EXPECT_EQ(DevicePaths::ConfigRoot(), std::string(home) + "/.config/quillon");
  }
  if (previous) ::setenv("XDG_CONFIG_HOME", previous->c_str(), 1);

  const std::string defaultDocuments = DevicePaths::DocumentsRoot();
  EXPECT_FALSE(defaultDocuments.empty());
  DevicePaths::SetDocumentsRoot("/tmp/elsewhere/");
  EXPECT_EQ(DevicePaths::DocumentsRoot(), "/tmp/elsewhere");
  DevicePaths::SetStorageCards({{u"SD", "/tmp/sd"}});
  ASSERT_EQ(DevicePaths::StorageCards().size(), 1u);
  EXPECT_EQ(DevicePaths::ToHost(u"\\SD\\x"), "/tmp/sd/x");
  DevicePaths::ResetToDefaults();
  EXPECT_EQ(DevicePaths::DocumentsRoot(), defaultDocuments);
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
