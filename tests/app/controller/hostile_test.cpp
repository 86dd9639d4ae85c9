// What the program cannot save at exit. (FIFOs, links, a full disk and
// settings out of range are met one level down, in the stream and settings
// suites, and by the real program in tests/e2e/hostile_test.sh.)
#include <gtest/gtest.h>

#include <filesystem>

#include "app_fixture.h"
#include "platform/registry.h"
#include "view/default_recorder.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

class HostileTest : public AppTest {
 protected:
  std::string SettingsFile() const { return roots_.Config() + "/settings.dat"; }
  // The errors shown, one line each, for a failure message.
  std::string Shown() const {
    std::string all;
    for (const QString& e : errors_) all += e.toStdString() + " | ";
    return all;
  }
  // Closes the program as its window's close does (the settings are saved).
  void Close() {
    window_->close();
    Pump();
  }
};

// Saving at exit that fails (here the disk full), and a registry write that
// failed while the program ran: both said in one box, the old file whole.
TEST_F(HostileTest, WhatCannotBeSavedAtExitIsSaidAndTheOldFileKept) {
  WriteSettings([](settings::SettingsRecord& r) { r.Volume = 30; });
  const std::string before = testsupport::ReadHostFile(SettingsFile());
  fs::create_directories(platform::Registry::StoreFile());  // a folder in the store's way
  Start();
  EXPECT_FALSE(view::SetDefaultRecorder(true));
  V().SetSliderPercent(view::kVolumeSlider, 80);
  testsupport::UnderFileSizeLimit(100, [&] {
    Close();
    return true;
  });
  EXPECT_EQ(testsupport::ReadHostFile(SettingsFile()), before) << "the old settings whole";
  EXPECT_FALSE(fs::exists(SettingsFile() + ".new"));
  ASSERT_EQ(errors_.size(), 1u) << Shown();
  EXPECT_EQ(errors_[0], QString::fromStdString("The settings could not be saved to " + SettingsFile() +
                                                "; the file there is kept as it was.\nFile too large\n\n"
                                                "The default-recorder setting could not be saved to " +
                                                platform::Registry::StoreFile() +
                                                "; the file there is kept as it was.\nIs a directory"));
  // Once they can be written again, nothing more is said.
  fs::remove_all(platform::Registry::StoreFile());
  errors_.clear();
  Start();
  EXPECT_TRUE(view::SetDefaultRecorder(false));
  Close();
  EXPECT_EQ(Shown(), "");
}

}  // namespace
}  // namespace apptest
