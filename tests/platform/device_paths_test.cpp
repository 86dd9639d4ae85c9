#include "platform/device_paths.h"

#include <gtest/gtest.h>

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
      {u"\\My Documents\\a/../../etc/passwd", std::nullopt},
      {u"My Documents\\a.wav", std::nullopt},
      {u"\\SD Card\\Quillon", std::nullopt},
      {std::u16string(u"\\My Documents\\a\0b", 17), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePaths::ToHost(c.device), c.host) << ToUtf8(c.device);
  EXPECT_EQ(DevicePaths::ModuleFileName(), u"\\Program Files\\Quillon\\Quillon.exe");
}

}  // namespace
}  // namespace platform
