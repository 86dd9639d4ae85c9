// The program meeting what a hostile user or a damaged disk leaves: special
// files under the names it opens, links where it creates files, a full disk,
// settings out of their ranges, files it cannot save at exit.
#include <gtest/gtest.h>

#include <filesystem>

#include "app_fixture.h"
#include "platform/file.h"
#include "platform/registry.h"
#include "support/fifo_files.h"
#include "view/default_recorder.h"
#include "view/hardware_buttons.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using testsupport::FinishesWithoutWaitingOn;

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

// A FIFO or a link to one, named like a recording and tapped to play: "Wrong
// file format." at once, and the program plays the next real file as ever.
TEST_F(HostileTest, PlayingAFifoIsAWrongFormatAtOnce) {
  fs::create_directories(DocumentsFolder());
  ASSERT_TRUE(testsupport::MakeFifo(InDocuments("a.wav")));
  fs::create_symlink(InDocuments("a.wav"), InDocuments("b.wav"));
  WriteWav(InDocuments("c.wav"), 8192, Bytes(6400, 1));
  Start();
  for (const char* name : {"a.wav", "b.wav"}) {
    errors_.clear();
    T().SetFilePath(u"\\My Documents\\Quillon\\" + std::u16string(name, name + 5));
    ASSERT_TRUE(FinishesWithoutWaitingOn(InDocuments("a.wav"), [&] { T().Play(1); })) << name << " froze the window";
    EXPECT_EQ(Shown(), "Wrong file format. | ") << name;
    EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::None) << name;
  }
  errors_.clear();
  T().SetFilePath(u"\\My Documents\\Quillon\\c.wav");
  T().Play(1);
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::Output);
  EXPECT_TRUE(fs::is_fifo(InDocuments("a.wav")));
}

// settings.dat that is a FIFO: the window comes up with the defaults, and at
// exit the FIFO is kept and the user told why.
TEST_F(HostileTest, AFifoAsTheSettingsStartsWithTheDefaultsAndIsKeptAtExit) {
  ASSERT_TRUE(testsupport::MakeFifo(SettingsFile()));
  bool started = false;
  ASSERT_TRUE(FinishesWithoutWaitingOn(SettingsFile(), [&] {
    Start();
    started = true;
  })) << "the window never appeared";
  ASSERT_TRUE(started);
  EXPECT_EQ(C().Settings.Record.FormatId, 49);
  EXPECT_EQ(C().Settings.Record.Volume, 100);
  Close();
  EXPECT_TRUE(fs::is_fifo(SettingsFile()));
  ASSERT_EQ(errors_.size(), 1u) << Shown();
  EXPECT_EQ(errors_[0], QString::fromStdString("The settings could not be read from " + SettingsFile() +
                                                " when the program started, so it ran with the defaults and left "
                                                "the file as it is.\nIt is not a regular file."));
}

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

// With the disk full, each Record says why and leaves no empty recording:
// three taps, no file. Through a link under the next name nothing is made:
// the recording takes the name after it.
TEST_F(HostileTest, AFullDiskLeavesNoEmptyRecordingAndALinkIsNeverRecordedThrough) {
  WriteSettings([](settings::SettingsRecord& r) { r.FormatId = 8192; });
  Start();
  fs::create_directories(DocumentsFolder());
  for (int tap = 0; tap < 3; ++tap) {
    testsupport::UnderFileSizeLimit(20, [&] {
      Tap(view::kRecordButton);
      return true;
    });
  }
  EXPECT_EQ(Shown(), "IAudioStream::Open(): failed\n\nFile too large | IAudioStream::Open(): failed\n\nFile too large | "
                     "IAudioStream::Open(): failed\n\nFile too large | ");
  EXPECT_TRUE(fs::is_empty(DocumentsFolder()));

  errors_.clear();
  const std::string outside = roots_.Base() + "/outside.wav";
  fs::create_symlink(outside, InDocuments("Recording00.wav"));
  Tap(view::kRecordButton);
  StepBuffers(3);
  Tap(view::kStopButton);
  EXPECT_EQ(Shown(), "");
  EXPECT_FALSE(fs::exists(outside)) << "recorded outside the documents folder";
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(InDocuments("Recording01.wav"))));
}

// Settings out of their ranges are mended, not obeyed: a FormatId no preset
// has records in the default format, and a key bound to garbage works.
TEST_F(HostileTest, SettingsOutOfRangeAreReadAsTheirDefaults) {
  WriteSettings([](settings::SettingsRecord& r) {
    r.FormatId = 12345;
    r.PlayMode = -7;
    r.Buttons[9].Key = 0xFFFFFFFF;  // the Record key
    r.Buttons[9].Action = 1234;
  });
  Start();
  Tap(view::kRecordButton);
  StepBuffers(3);
  EXPECT_EQ(Shown(), "");
  EXPECT_EQ(audio::RecordingActive, 1) << "recording in the default format";
  Tap(view::kStopButton);
  EXPECT_EQ(C().Settings.Record.PlayMode, 3);
  T().OnKeyDown(view::kKeyRecord);
  T().OnKeyUp(view::kKeyRecord);
  Pump();
  EXPECT_EQ(audio::RecordingActive, 1) << "the Record key records again";
  Tap(view::kStopButton);
  Close();
  settings::SettingsStore saved;
  ASSERT_TRUE(saved.Load());
  EXPECT_EQ(saved.Record.FormatId, 49) << "the mended record is what is written at exit";
}

}  // namespace
}  // namespace apptest
