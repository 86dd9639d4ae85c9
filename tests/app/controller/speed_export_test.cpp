// The playback speed and the export through the main window: the speed set
// from the Tools menu and the Slower and Faster keys reaches the device,
// shows beside the format, stays for the next file and start beside an
// unchanged settings.dat; the list's "Export..." writes the file, and a
// failure or a cancel says why and leaves nothing.
#include <filesystem>
#include <thread>

#include <QApplication>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "app/export_dialog.h"
#include "app/playback_speed_control.h"
#include "app_fixture.h"
#include "view/hardware_buttons.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using view::ButtonAction;

constexpr char16_t kTimes[] = u"\u00D7";

class SpeedExportTest : public AppTest {
 public:
  void TearDown() override {
    app::SetExportTargetChooser({});
    app::SetExportJob({});
    AppTest::TearDown();
  }
  // Notes (F1) bound to Slower and Contacts (F2) to Faster.
  void BindSpeedKeys() {
    WriteSettings([](settings::SettingsRecord& r) {
      r.Buttons[5].Action = static_cast<uint32_t>(ButtonAction::Slower);
      r.Buttons[6].Action = static_cast<uint32_t>(ButtonAction::Faster);
    });
  }
  void Key(int key) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent event(type, key, Qt::NoModifier);
      QCoreApplication::sendEvent(window_.get(), &event);
    }
    Pump();
  }
  uint32_t Speed() { return T().AudioIO.GetPlaybackSpeed(); }
  std::string Preferences() { return testsupport::ReadHostFile(roots_.Config() + "/preferences.txt"); }
  Bytes SettingsFile() { return ReadFileBytes(roots_.Config() + "/settings.dat"); }
  void Exit() {
    window_.reset();
    Pump();
  }
};

TEST_F(SpeedExportTest, TheSpeedFromMenuAndKeysReachesTheDeviceShowsAndIsKeptBesideSettings) {
  WriteWav(InDocuments("Talk.wav"), 8192, NumberedSamples(8000 * 2));
  BindSpeedKeys();
  const Bytes before = SettingsFile();
  Start();
  view::GrabApplicationKeys(window_.get());
  EXPECT_EQ(Shown(Area::Format), u"GSM (WAV)") << "1x shows nothing";
  Key(Qt::Key_F1);  // Slower
  EXPECT_EQ(Speed(), 75u);
  EXPECT_EQ(Shown(Area::Format), u"GSM 0.75" + std::u16string(kTimes));
  Exit();
  EXPECT_NE(Preferences().find("PlaybackSpeed=75\n"), std::string::npos) << Preferences();
  EXPECT_EQ(SettingsFile(), before) << "settings.dat keeps its 700 bytes as they were";

  Start();  // the next start plays at the speed kept
  view::GrabApplicationKeys(window_.get());
  EXPECT_EQ(Speed(), 75u);
  EXPECT_EQ(Shown(Area::Format), u"GSM 0.75" + std::u16string(kTimes));
  C().OnCommand(app::SpeedCommand(150));  // Tools > Playback Speed > 1.5x
  EXPECT_EQ(Speed(), 150u);
  C().OnNotify(app::kDocListActivated, 0, List().PathAt(0));
  EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::Output);
  EXPECT_EQ(Shown(Area::Format), u"PCM 1.5" + std::u16string(kTimes)) << "the file's format, with the speed";
  Key(Qt::Key_F2);
  Key(Qt::Key_F2);  // Faster twice: held at 2x
  EXPECT_EQ(Speed(), 200u);
  ASSERT_TRUE(PlayToEnd());
  // Three blocks queued at 1.5x, the rest of the 2 s at 2x: about 1 s, well
  // short of the 1.33 s of 1.5x.
  EXPECT_LT(device_->LastCapture().bytes.size(), 18000u);
  C().OnCommand(app::SpeedCommand(100));
  EXPECT_EQ(Shown(Area::Format), u"PCM (WAV)");
  Exit();
  EXPECT_NE(Preferences().find("PlaybackSpeed=100\n"), std::string::npos) << Preferences();
  for (const char* stored : {"PlaybackSpeed=80\n", "PlaybackSpeed=fast\n"}) {
    testsupport::WriteHostFile(roots_.Config() + "/preferences.txt", stored);
    Start();
    EXPECT_EQ(Speed(), 100u) << stored;
    EXPECT_EQ(Shown(Area::Format), u"GSM (WAV)") << stored;
    Exit();
    EXPECT_EQ(Preferences(), stored) << "a value not understood is not replaced unasked";
  }
}

// At 0.75x the time shown and the end of the file stay in the file's time:
// after 4 s of the device's clock 3 s of the file have played, and a 4 s
// file ends after 5.33 s with the play mode applied as at 1x.
TEST_F(SpeedExportTest, AtAnotherSpeedTheTimesAndTheEndAreTheFilesOwn) {
  WriteWav(InDocuments("Talk.wav"), 8192, NumberedSamples(8000 * 4));
  Start();
  app::SetPlaybackSpeed(T(), 75);
  C().OnNotify(app::kDocListActivated, 0, List().PathAt(0));
  EXPECT_EQ(Shown(Area::Length), u"(00:00:04)");
  StepBuffers(100);  // 4 s
  EXPECT_TRUE(WaitFor([&] { return Shown(Area::Time) == u"00:00:03"; }))
      << QString::fromStdU16String(Shown(Area::Time)).toStdString();
  EXPECT_TRUE(WaitFor([&] { return V().SliderPercent(view::kPositionSlider) >= 75; }));
  const int64_t start = 0;
  ASSERT_TRUE(PlayToEnd());
  const auto& buffers = device_->LastCapture().buffers;
  ASSERT_FALSE(buffers.empty());
  EXPECT_NEAR((buffers.back().completedMicros - start) / 1e6, 4.0 / 0.75, 0.02 * 4.0 / 0.75);
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_EQ(Shown(Area::Time), u"00:00:00");
  EXPECT_TRUE(errors_.empty());
}

// "Export..." from the list: the file in the chosen format next to the
// recording, no message; a failure and a cancel each say why, leave no
// file, and the recording stays as it was.
TEST_F(SpeedExportTest, ExportFromTheListWritesTheFileOrSaysWhyItDidNot) {
  WriteWav(InDocuments("Talk.wav"), 49, NumberedSamples(8000 * 3));
  const Bytes recording = ReadFileBytes(InDocuments("Talk.wav"));
  Start();
  QString suggested;
  app::ExportChoice choice{QString::fromStdString(InDocuments("Sent")), audio::ExportFormat::Opus};
  app::SetExportTargetChooser([&](QWidget*, const QString& offered) {
    suggested = offered;
    return std::optional<app::ExportChoice>(choice);
  });
  ASSERT_TRUE(List().ExportItem(0));
  EXPECT_EQ(suggested.toStdString(), InDocuments("Talk.opus")) << "the recording's folder and name, Opus";
  const Bytes sent = ReadFileBytes(InDocuments("Sent.opus"));
  ASSERT_GT(sent.size(), 1000u) << "the extension of the format chosen is added";
  EXPECT_EQ(std::string(sent.begin(), sent.begin() + 4), "OggS");
  EXPECT_TRUE(errors_.empty());

  choice = {QString::fromStdString(roots_.Documents() + "/gone/Sent.mp3"), audio::ExportFormat::Opus};
  ASSERT_TRUE(List().ExportItem(0));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_.back(), QStringLiteral("The file cannot be created.\n\nNo such file or directory"));

  // Cancel in the progress dialog: the job holds on until the dialog has
  // said stop, then the export itself is told so.
  app::SetExportJob([](const audio::ExportRequest& request, const audio::ExportProgress& progress) {
    while (progress(0, 1)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return audio::ExportRecording(request, progress);
  });
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::allWidgets())
      if (auto* dialog = qobject_cast<QProgressDialog*>(w)) dialog->findChild<QPushButton*>()->click();
  });
  choice = {QString::fromStdString(InDocuments("Cancelled.flac")), audio::ExportFormat::Opus};
  ASSERT_TRUE(List().ExportItem(0));
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_.back(), QString::fromUtf16(audio::kExportCancelled));
  EXPECT_FALSE(fs::exists(InDocuments("Cancelled.flac")));
  EXPECT_EQ(ReadFileBytes(InDocuments("Talk.wav")), recording);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(DocumentsFolder())) ++entries;
  EXPECT_EQ(entries, 2u) << "the recording and the one export, nothing half-written";
}

TEST(ExportChoice, TheExtensionFollowsTheFormatOrChoosesIt) {
  using Format = audio::ExportFormat;
  for (auto [path, format, expectedPath, expectedFormat] :
       {std::tuple{"/d/Talk", Format::Opus, "/d/Talk.opus", Format::Opus},
        {"/d/Talk.mp3", Format::Opus, "/d/Talk.mp3", Format::Mp3},
        {"/d/Talk.WAV", Format::Flac, "/d/Talk.WAV", Format::Wav},
        {"/d/v1.2/Talk", Format::Flac, "/d/v1.2/Talk.flac", Format::Flac},
        {"/d/Talk.txt", Format::Wav, "/d/Talk.txt.wav", Format::Wav}}) {
    const app::ExportChoice normal = app::NormalizeExportChoice({QString::fromLatin1(path), format});
    EXPECT_EQ(normal.Path.toStdString(), expectedPath);
    EXPECT_EQ(normal.Format, expectedFormat) << path;
  }
}

}  // namespace
}  // namespace apptest
