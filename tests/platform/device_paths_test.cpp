#include "platform/device_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/text.h"
#include "support/temp_roots.h"

namespace platform {
namespace {

TEST(DevicePathsTest, MapsEachRootAndNothingOutsideThem) {
  testsupport::TempRoots roots({u"Storage Card", u"USBSTICK"});
  const std::string docs = roots.Documents(), config = roots.Config();
  const struct {
    std::u16string device;
    std::optional<std::string> host;
  } cases[] = {
      {u"\\My Documents\\Quillon\\Recording00.wav", docs + "/Quillon/Recording00.wav"},
      {u"\\My Documents", docs},
      {DevicePaths::ModuleFileName(), config + "/Quillon.exe"},
      {u"\\program files\\QUILLON\\settings.dat", config + "/settings.dat"},
      {u"\\storage card\\Quillon", roots.Card(u"Storage Card") + "/Quillon"},
      {u"\\USBSTICK\\Quillon\\a.wav", roots.Card(u"USBSTICK") + "/Quillon/a.wav"},
      {u"\\My Documents\\\u00c4rger.wav", docs + "/\xC3\x84rger.wav"},
      {u"\\My Documents\\a\\..\\.\\\\b.wav", docs + "/b.wav"},
      // Dot components stay inside their root.
      {u"\\My Documents\\..\\Storage Card\\x", std::nullopt},
      {u"\\Program Files\\Quillon\\..\\x", std::nullopt},
      {u"\\My Documents\\a/../../etc/passwd", std::nullopt},
      {u"\\", std::nullopt},
      {u"My Documents\\a.wav", std::nullopt},
      {u"\\Program Files\\Other\\x", std::nullopt},
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
  DevicePaths::SetDocumentsRoot("/tmp/elsewhere/");
  EXPECT_EQ(DevicePaths::DocumentsRoot(), "/tmp/elsewhere");
  DevicePaths::ResetToDefaults();
  EXPECT_EQ(DevicePaths::DocumentsRoot(), defaultDocuments);
}

}  // namespace
}  // namespace platform
