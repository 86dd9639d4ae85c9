// Ordinary sequences of operations that once went wrong: what a person does
// one after the other (exit with voice activation on, a folder emptied, a
// scan held past the end, a tidy-up of the list while recording, ...) and
// what must hold after it.
#include <filesystem>
#include <set>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include "app_fixture.h"
#include "platform/device_paths.h"
#include "view/child_modal.h"
#include "view/hardware_buttons.h"
#include "view/record_led.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using audio::WaveDirection;

class FakeLed : public view::LedIndicator {
 public:
  void SetBlinking(bool on) override { blinking = on; }
  bool blinking = false;
};

class SequenceTest : public AppTest {
 public:
  void TearDown() override {
    view::InstallLed(nullptr);
    AppTest::TearDown();
  }
  // Files named by the letters, each `buffers` 640-byte blocks of PCM (0: a
  // file with a header and no data, as a voice-activated recording that
  // heard nothing), told apart by their first sample.
  void Files(const std::string& letters, int buffers = 4, const std::string& folder = {}) {
    for (const char letter : letters) {
      Bytes samples = buffers > 0 ? NumberedSamples(320 * buffers) : Bytes{};
      if (!samples.empty()) samples[0] = static_cast<uint8_t>(letter);
      WriteWav((folder.empty() ? DocumentsFolder() : folder) + "/" + letter + ".wav", 8192, samples);
    }
  }
  void Activate(int index) { C().OnNotify(app::kDocListActivated, index, List().PathAt(index)); }
  std::u16string FilePath() { return T().FilePath; }
  std::u16string DocPath(const char* name) {
    const std::string path = std::string("\\My Documents\\Quillon\\") + name;
    return std::u16string(path.begin(), path.end());
  }
  void ChooseFolder(const QString& name) {
    auto* chooser = List().findChild<QComboBox*>();
    ASSERT_NE(chooser, nullptr);
    const int index = chooser->findText(name);
    ASSERT_GE(index, 0) << name.toStdString();
    chooser->setCurrentIndex(index);
    emit chooser->activated(index);
    Pump();
  }
  bool TrackButtons() {
    return Enabled(view::kPlayButton) && Enabled(view::kPreviousButton) && Enabled(view::kNextButton);
  }
  bool NoTrackButtons() {
    return !Enabled(view::kPlayButton) && !Enabled(view::kPreviousButton) && !Enabled(view::kNextButton);
  }
  // What another program does to the folder: the list sees it after its rescan.
  void BehindItsBack(const std::function<void()>& change) {
    change();
    ASSERT_TRUE(WaitFor([&] {
      Pump();
      return ListedNames() == NamesOnDisk();
    }));
    Pump();
  }
  std::multiset<std::string> NamesOnDisk() {
    std::multiset<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(roots_.Base()))
      if (entry.path().extension() == ".wav") names.insert(entry.path().filename().string());
    return names;
  }
  std::multiset<std::string> ListedNames() {
    std::multiset<std::string> names;
    for (int i = 0; i < List().Count(); ++i) {
      const QString path = QString::fromStdU16String(List().PathAt(i));
      names.insert(path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1).toStdString());
    }
    return names;
  }
  std::vector<std::string> OpenWavFiles() {
    std::vector<std::string> open;
    for (const std::string& file : testsupport::OpenFilesUnder(roots_.Base()))
      if (file.size() > 4 && file.compare(file.size() - 4, 4, ".wav") == 0) open.push_back(file);
    return open;
  }
  // Plays on until the device has closed and every hand-over has run.
  bool RunUntilIdle(WaveDirection settled = WaveDirection::None) {
    return StepUntil(
        [&] {
          Pump();
          if (T().AudioIO.Direction != settled || T().AudioIO.IsPlaying()) return false;
          Pump();
          return T().AudioIO.Direction == settled;
        },
        5000);
  }
};

TEST_F(SequenceTest, TheTrackButtonsAndFilePathFollowWhatTheListShows) {
  Files("AB");
  fs::create_directories(roots_.Card(u"Storage Card") + "/Quillon");
  Start();
  ASSERT_TRUE(TrackButtons());
  EXPECT_EQ(FilePath(), DocPath("A.wav"));

  ChooseFolder(QStringLiteral("Storage Card"));  // nothing recorded there
  EXPECT_TRUE(NoTrackButtons());
  EXPECT_EQ(FilePath(), u"") << "no file the list does not show";
  ChooseFolder(QString::fromUtf16(app::kAllFolders));
  EXPECT_TRUE(TrackButtons());
  EXPECT_EQ(FilePath(), DocPath("A.wav"));

  // Deleting the selected file (nothing plays) moves FilePath to the row
  // that takes its place; renaming it follows the new name.
  List().SetDeleteConfirmation([](const QString&) { return true; });
  ASSERT_TRUE(List().DeleteItem(0));
  Pump();
  EXPECT_EQ(FilePath(), DocPath("B.wav"));
  ASSERT_TRUE(List().RenameItem(0, QStringLiteral("Memo")));
  Pump();
  EXPECT_EQ(FilePath(), DocPath("Memo.wav"));

  // Emptied and refilled by another program.
  BehindItsBack([&] { fs::remove(InDocuments("Memo.wav")); });
  EXPECT_TRUE(NoTrackButtons());
  EXPECT_EQ(FilePath(), u"");
  BehindItsBack([&] { Files("C"); });
  EXPECT_TRUE(TrackButtons());
  EXPECT_EQ(FilePath(), DocPath("C.wav"));
  // Return on the item plays it (the activation's key guard looks at Play).
  C().KeyOrigin = 1;
  Activate(0);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Output);

  // A stopped recording stays what Play plays, although the list was read again.
  T().Stop(1);
  Tap(view::kRecordButton);
  StepBuffers(3);
  Tap(view::kStopButton);
  Pump();
  EXPECT_EQ(FilePath(), DocPath("Recording00.wav"));
  EXPECT_TRUE(errors_.empty()) << errors_.front().toStdString();
}

TEST_F(SequenceTest, StartingOnAnEmptyFolderAndChoosingAFullOneEnablesTheTrackButtons) {
  Files("AB");
  fs::create_directories(roots_.Card(u"Storage Card") + "/Quillon");
  WriteSettings([](settings::SettingsRecord& r) { std::copy_n(u"Storage Card", 13, r.Folder); });
  Start();
  EXPECT_TRUE(NoTrackButtons());
  ChooseFolder(QStringLiteral("Quillon"));
  EXPECT_TRUE(TrackButtons());
  EXPECT_EQ(FilePath(), DocPath("A.wav"));
}

TEST_F(SequenceTest, AnEmptyFileUnderVoiceActivationNeitherPlaysNorLeaksAndEndsTheRepeat) {
  // B: a voice-activated recording that heard nothing.
  Files("A");
  Files("B", 0);
  for (const int32_t playMode : {1, 2, 4}) {
    SCOPED_TRACE(playMode);
    WriteSettings([playMode](settings::SettingsRecord& r) {
      r.VasMode = 2;
      r.PlayMode = playMode;
    });
    Start();
    Activate(playMode == 4 ? 1 : 0);
    // Listening is where every play mode ends up: the list played once, the
    // empty file not repeated for ever, the repeated list stopped once all it
    // played was empty (A is not empty, so mode 2 goes round: stop it).
    if (playMode == 2) {
      StepBuffers(20);
      T().Stop(1);
    }
    ASSERT_TRUE(RunUntilIdle(WaveDirection::Input));
    EXPECT_EQ(audio::RecordingActive, 0);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
    EXPECT_TRUE(OpenWavFiles().empty()) << OpenWavFiles().front();
    // Record now records, it does not pause a half-open playback.
    Tap(view::kRecordButton);
    EXPECT_EQ(audio::RecordingActive, 1);
    EXPECT_EQ(T().AudioIO.Paused, 0);
    T().Stop(1);
    window_.reset();
    for (const char* name : {"Recording00.wav"}) fs::remove(InDocuments(name));
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(SequenceTest, ForwardHeldPastTheEndOfAFileLeavesTheNextOnePlaying) {
  Files("AB", 6);
  WriteSettings([](settings::SettingsRecord& r) { r.PlayMode = 1; });
  Start();
  Activate(0);
  StepBuffers(1);
  for (const bool byKey : {false, true}) {
    SCOPED_TRACE(byKey);
    if (byKey) {
      Activate(0);
      T().OnKeyDown(view::kKeyRight);
    } else {
      Press(view::kForwardButton);
    }
    ASSERT_EQ(T().AudioIO.ScanMode, audio::ScanForward);
    ASSERT_TRUE(WaitFor([&] {
      device_->StepMs(40);
      return T().AudioIO.ScanMode == audio::ScanNone && T().AudioIO.IsPlaying() &&
             static_cast<audio::WaveFileStream*>(T().AudioIO.Stream.load())->GetPath() == DocPath("B.wav");
    }));
    if (byKey)
      T().OnKeyUp(view::kKeyRight);
    else
      Release(view::kForwardButton);
    EXPECT_TRUE(T().AudioIO.IsPlaying()) << "the release belonged to A's scan";
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPlaying);
  }
  // A release with no scan (paused) still stops, as it always did.
  T().TogglePause(1);
  T().Forward(1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
}

TEST_F(SequenceTest, TheRecordIndicatorGoesOutHoweverARecordingEnds) {
  Files("A");
  FakeLed led;
  view::InstallLed(&led);
  Start();
  const std::function<void()> enders[] = {[&] { Tap(view::kPlayButton); }, [&] { Activate(0); },
                                          [&] { Tap(view::kStopButton); }};
  for (const auto& end : enders) {
    Tap(view::kRecordButton);
    ASSERT_TRUE(led.blinking);
    StepBuffers(2);
    end();
    EXPECT_FALSE(led.blinking);
    T().Stop(1);
  }
}

TEST_F(SequenceTest, AFailedPlayLeavesTheStoppedViewAndNoStreamWhateverTheCloseSays) {
  Files("A", 50);  // 2 s
  fs::create_directories(DocumentsFolder());
  testsupport::WriteHostFile(InDocuments("B.wav"), std::string("RIFF\x10\0\0\0WAVEjunk", 16) + std::string(99, 'x'));
  WriteSettings([](settings::SettingsRecord& r) { r.PlayMode = 1; });
  Start();
  Activate(0);
  ASSERT_TRUE(RunUntilIdle());
  ASSERT_EQ(errors_, std::vector<QString>{"Wrong file format."});
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_EQ(Shown(Area::FileName), u"B") << "the file chosen stays shown";
  EXPECT_EQ(Shown(Area::Length), u"");
  for (int id : {view::kStopButton, view::kRewindButton, view::kForwardButton}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(view::kPlayButton));

  // The device refuses the format at the query and then refuses to close: the
  // stream and its file are let go all the same.
  errors_.clear();
  platform::VirtualWaveFailures failures;
  failures.queryOutput = platform::kWaveBadFormat;
  failures.closeOutput = platform::kWaveStillPlaying;
  device_->SetFailures(failures);
  Activate(0);
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[0], "Format not support.");
  EXPECT_EQ(T().AudioIO.Stream.load(), nullptr);
  EXPECT_TRUE(OpenWavFiles().empty());
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_EQ(Shown(Area::FileName), u"A");
  EXPECT_EQ(Shown(Area::Length), u"(00:00:02)") << "its length, not 0";
}

TEST_F(SequenceTest, OnlyAChangeToTheFileBeingRecordedEndsTheRecording) {
  Files("AB", 4, roots_.Card(u"Storage Card") + "/Quillon");
  Files("CD");
  Start();
  List().SetDeleteConfirmation([](const QString&) { return true; });
  Tap(view::kRecordButton);
  const std::u16string recording = FilePath();
  ASSERT_EQ(audio::RecordingActive, 1);
  // The user tidies up in the list, another program in the folders.
  ASSERT_TRUE(List().DeleteItem(List().IndexOf(u"\\Storage Card\\Quillon\\A.wav")));
  ASSERT_TRUE(List().RenameItem(List().IndexOf(DocPath("C.wav")), QStringLiteral("Kept")));
  BehindItsBack([&] { Files("E"); });
  BehindItsBack([&] { fs::remove(InDocuments("D.wav")); });
  BehindItsBack([&] { fs::rename(roots_.Card(u"Storage Card") + "/Quillon/B.wav", InDocuments("F.wav")); });
  StepBuffers(3);
  EXPECT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(FilePath(), recording);
  // The recording itself moved away by another program: it ends, whole.
  BehindItsBack([&] { fs::rename(InDocuments("Recording00.wav"), InDocuments("Moved.wav")); });
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  EXPECT_GT(fs::file_size(InDocuments("Moved.wav")), 60u);
  ASSERT_EQ(errors_.size(), 1u) << "it says why";
  EXPECT_TRUE(errors_[0].contains("Recording00")) << errors_[0].toStdString();
}

TEST_F(SequenceTest, TheListsEndsWrapInTheModeTheToolButtonShows) {
  Files("ABC");
  // Stored: play the list once with wrap-around left on by an older end.
  WriteSettings([](settings::SettingsRecord& r) {
    r.PlayMode = 1;
    r.WrapAround = 1;
  });
  Start();
  struct Step {
    int switches;  // Switch Play Mode presses first
    int32_t mode;
    bool wraps;
  };
  for (const Step& step : {Step{0, 1, false}, Step{1, 2, true}, Step{1, 3, false}, Step{1, 4, false}}) {
    for (int i = 0; i < step.switches; ++i) C().OnCommand(app::kCmdSwitchPlayMode);
    ASSERT_EQ(C().Settings.Record.PlayMode, step.mode);
    Activate(2);
    Tap(view::kNextButton);
    EXPECT_EQ(T().ListIndex, step.wraps ? 0 : 2) << "mode " << step.mode;
    Activate(0);
    Tap(view::kPreviousButton);
    EXPECT_EQ(T().ListIndex, step.wraps ? 2 : 0) << "mode " << step.mode;
    T().Stop(1);
  }
}

TEST_F(SequenceTest, ThePanelSaysWhatIsTrueAfterDeletingSeekingAndRecording) {
  Files("AB", 100);
  Start();
  List().SetDeleteConfirmation([](const QString&) { return true; });
  Activate(0);
  StepBuffers(2);
  // Another file deleted while A plays: Play keeps its lit face.
  ASSERT_TRUE(List().DeleteItem(List().IndexOf(DocPath("B.wav"))));
  Pump();
  const view::SkinButton& play = V().Buttons[view::kPlayButton - view::kFirstButton];
  const QImage drawn = V().BackBuffer.Image.copy(play.Left, play.Top, play.Width, play.Height);
  EXPECT_EQ(drawn.convertToFormat(QImage::Format_RGB32), play.Face2Normal.Image.convertToFormat(QImage::Format_RGB32));
  EXPECT_TRUE(T().AudioIO.IsPlaying());

  // A seek while paused moves the time at once.
  T().TogglePause(1);
  V().SetSliderPercent(view::kPositionSlider, 50);
  T().OnSlider(view::kPositionSlider, 1);
  EXPECT_EQ(Shown(Area::Time), u"00:00:02");
  T().Stop(1);
}

// Found by the sequence test: play, show a folder with one file, delete it.
TEST_F(SequenceTest, AFileFromAnotherFolderKeepsItsLengthWhenTheListEmpties) {
  Files("A", 100);
  Files("C", 4, roots_.Card(u"Storage Card") + "/Quillon");
  Start();
  Activate(List().IndexOf(DocPath("A.wav")));
  ChooseFolder(QStringLiteral("Storage Card"));
  ASSERT_EQ(List().Count(), 1);
  List().SetDeleteConfirmation([](const QString&) { return true; });
  ASSERT_TRUE(List().DeleteItem(0));
  Pump();
  EXPECT_TRUE(T().AudioIO.IsPlaying());
  EXPECT_EQ(Shown(Area::Length), u"(00:00:04)");
}

TEST_F(SequenceTest, AVoiceActivatedRecordingKeepsItsLengthAfterStop) {
  WriteSettings([](settings::SettingsRecord& r) {
    r.VasMode = 2;
    r.VasThreshold = 10;
  });
  platform::VirtualWaveSignal speech;
  speech.kind = platform::VirtualWaveSignal::Kind::Sine;
  speech.level = 0.8;
  device_->SetInputSignal(speech);
  Start();
  Tap(view::kRecordButton);
  StepBuffers(60);
  ASSERT_TRUE(WaitFor([&] { return Shown(Area::Length) == u"(00:00:02)"; }));
  Tap(view::kStopButton);
  StepBuffers(5);  // listening again
  ASSERT_EQ(T().AudioIO.Direction, WaveDirection::Input);
  EXPECT_EQ(Shown(Area::Length), u"(00:00:02)");
}

TEST_F(SequenceTest, TheListShowsTheRecordingGrowAndRepeatedNamesByTheirFolder) {
  Files("A");
  Files("A", 4, roots_.Card(u"Storage Card") + "/Quillon");
  Start();
  ASSERT_EQ(List().Count(), 2);
  std::vector<QString> names = {List().DisplayNameAt(0), List().DisplayNameAt(1)};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<QString>{"A (Quillon)", "A (Storage Card)"}));
  QString asked;
  List().SetDeleteConfirmation([&](const QString& name) {
    asked = name;
    return false;
  });
  List().DeleteItem(List().IndexOf(u"\\Storage Card\\Quillon\\A.wav"));
  EXPECT_EQ(asked, "A (Storage Card)");

  // The watch that follows it runs only while a recording does: nothing
  // wakes an idle program for it.
  const auto* watch = window_->findChild<QTimer*>(QStringLiteral("recording watch"));
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->isActive());
  Tap(view::kRecordButton);
  EXPECT_TRUE(watch->isActive());
  const int row = List().IndexOf(FilePath());
  ASSERT_GE(row, 0);
  auto* tree = List().findChild<QTreeWidget*>();
  const QString first = tree->topLevelItem(row)->text(2);
  StepBuffers(50);
  // The row's size follows the file within a second or so.
  EXPECT_TRUE(WaitFor([&] { return tree->topLevelItem(List().IndexOf(FilePath()))->text(2) != first; }));
  Tap(view::kStopButton);
  EXPECT_TRUE(WaitFor([&] { return !watch->isActive(); }));
}

TEST_F(SequenceTest, ACardNameCutByTheSettingsFindsTheOneCardItBegins) {
  const std::u16string uuid = u"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
  testsupport::TempRoots roots({uuid, u"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f0-twin", u"Other"});
  const std::u16string cut = uuid.substr(0, 31);
  WriteSettings([&](settings::SettingsRecord& r) {
    std::fill(std::begin(r.Storage), std::end(r.Storage), u'\0');
    std::copy(cut.begin(), cut.end(), r.Storage);
  });
  Start();
  ASSERT_EQ(errors_.size(), 1u) << "two cards begin with the name: said, not guessed";
  EXPECT_TRUE(errors_[0].contains(QString::fromStdU16String(cut)));
  Tap(view::kRecordButton);
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_EQ(errors_.size(), 2u);
  window_.reset();

  // With one such card, it is the one recorded to.
  fs::remove_all(roots.Card(u"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f0-twin"));
  platform::DevicePaths::SetStorageCards({{uuid, roots.Card(uuid)}, {u"Other", roots.Card(u"Other")}});
  errors_.clear();
  Start();
  Tap(view::kRecordButton);
  ASSERT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(FilePath(), u"\\" + uuid + u"\\Quillon\\Recording00.wav");
  T().Stop(1);
  EXPECT_TRUE(fs::exists(roots.Card(uuid) + "/Quillon/Recording00.wav"));
  EXPECT_TRUE(errors_.empty());
  // Gone before these roots are: its settings go where the test keeps them.
  window_.reset();
}

TEST_F(SequenceTest, AFormatChosenOnTheSheetShowsOnTheIdlePanel) {
  Start();
  ASSERT_EQ(Shown(Area::Format), u"GSM (WAV)");
  // The user moves the General page's format slider to a PCM format and
  // closes the sheet.
  QTimer::singleShot(0, [] {
    QWidget* sheet = view::ActiveModalWidget();
    ASSERT_NE(sheet, nullptr);
    auto* slider = sheet->findChild<QSlider*>();
    ASSERT_NE(slider, nullptr);
    slider->setValue(slider->maximum());
    auto* ok = sheet->findChild<QPushButton*>();
    ok->click();
  });
  C().OnCommand(app::kCmdSettings);
  ASSERT_NE(C().Settings.Record.FormatId, 49);
  EXPECT_EQ(Shown(Area::Format), u"PCM (WAV)");
}

}  // namespace
}  // namespace apptest
