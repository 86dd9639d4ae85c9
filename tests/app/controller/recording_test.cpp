// Recording through the main window: names, the file's content in every
// kind of format, pause and resume, the view, voice activation's decisions,
// storage cards, shutdown in the middle and a disk that fills up.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "app_fixture.h"
#include "gsm_reference.h"
#include "platform/registry.h"
#include "platform/wave_types.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using audio::WaveDirection;

class RecordingTest : public AppTest {
 public:
  void Touch(const std::string& name) {
    fs::create_directories(DocumentsFolder());
    testsupport::WriteHostFile(InDocuments(name), "");
  }
  // The header's sizes agree with the file, and the data is whole blocks.
  static void ExpectConsistent(const Bytes& file) {
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(Le32(file, 4), file.size() - 8) << "RIFF size";
    EXPECT_FALSE(DataChunk(file).empty() && file.size() > 60) << "data size beyond the file";
  }
};

TEST_F(RecordingTest, NextNameIsTheLowestFreeNumberWithAtLeastTwoDigits) {
  struct Case {
    std::vector<int> present;
    std::u16string shown;
  };
  std::vector<int> all;
  for (int i = 0; i < 100; ++i) all.push_back(i);
  const Case cases[] = {{{}, u"Recording00"}, {{0, 2}, u"Recording01"}, {all, u"Recording100"}};
  for (const Case& c : cases) {
    fs::remove_all(DocumentsFolder());
    for (int n : c.present) Touch("Recording" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".wav");
    Start();
    EXPECT_EQ(Shown(Area::FileName), c.shown);
    EXPECT_TRUE(errors_.empty());
    window_.reset();
  }
}

// Record, pause, resume and stop with the pen: the file holds exactly the
// input (PCM) or its coding (GSM) from the first sample, in the chosen format.
TEST_F(RecordingTest, PenRecordingHoldsTheInputFromItsFirstSample) {
  struct Case {
    uint32_t formatId;
    std::u16string format;
    uint32_t bytesPerSecond;
  };
  for (const Case& c : {Case{8192, u"PCM (WAV)", 16000}, Case{4096, u"PCM (WAV)", 8000},
                        Case{1, u"PCM (WAV)", 11025}, Case{49, u"GSM (WAV)", 1625}}) {
    SCOPED_TRACE(c.formatId);
    fs::remove_all(DocumentsFolder());
    WriteSettings([&](settings::SettingsRecord& r) { r.FormatId = static_cast<int32_t>(c.formatId); });
    const Bytes input = NumberedSamples(80000);
    device_->SetInputBytes(input);
    Start();

    Tap(view::kRecordButton);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusRecording);
    EXPECT_EQ(Shown(Area::FileName), u"Recording00");
    EXPECT_EQ(Shown(Area::Length), u"(00:00:00)");
    EXPECT_EQ(Shown(Area::Format), c.format);
    EXPECT_EQ(Shown(Area::Storage), u"Main Memory");
    EXPECT_EQ(V().Buttons[0].Face, view::FaceActive);
    for (int id : {view::kStopButton, view::kPlayButton}) EXPECT_TRUE(Enabled(id)) << id;
    for (int id : {view::kForwardButton, view::kRewindButton, view::kPreviousButton, view::kNextButton,
                   view::kVasButton})
      EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(List().Count(), 1) << "the list shows the new file at once";

    StepBuffers(30);
    EXPECT_TRUE(WaitFor([&] { return Shown(Area::Time) == u"00:00:01"; })) << "recorded time follows";
    Tap(view::kRecordButton);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPaused);
    EXPECT_EQ(V().Buttons[0].Face, view::FaceNormal);
    StepBuffers(10);
    Tap(view::kRecordButton);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusRecording);
    StepBuffers(12);
    Tap(view::kStopButton);

    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
    EXPECT_EQ(Shown(Area::Time), u"00:00:00");
    EXPECT_TRUE(Enabled(view::kPlayButton) && Enabled(view::kRecordButton) && !Enabled(view::kStopButton));
    EXPECT_EQ(std::u16string(T().FilePath), u"\\My Documents\\Quillon\\Recording00.wav");
    EXPECT_TRUE(errors_.empty());

    const Bytes file = ReadFileBytes(InDocuments("Recording00.wav"));
    ExpectConsistent(file);
    const Bytes data = DataChunk(file);
    const Bytes expected = c.formatId == 49 ? GsmEncode(input) : input;
    // 42 steps of 40 ms were recorded; the last buffer may be cut short.
    ASSERT_GE(data.size(), c.bytesPerSecond * 42 * 40 / 1000 - 700);
    ASSERT_LE(data.size(), expected.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), expected.begin())) << "not the input from its start";
    window_.reset();
  }
}

// Record while something runs: pause the recording or start a new one.
TEST_F(RecordingTest, RecordPausesARecordingAndStartsOneWhileListening) {
  struct Case {
    const char* what;
    bool vas;
    std::function<void(RecordingTest&)> arrange;
    bool pauses;
  };
  const Case cases[] = {
      {"recording, no VAS", false, [](RecordingTest& t) { t.Tap(view::kRecordButton); }, true},
      {"recording under VAS", true, [](RecordingTest& t) { t.Tap(view::kRecordButton); }, true},
      {"listening", true, [](RecordingTest&) {}, false},
      {"idle, no VAS", false, [](RecordingTest&) {}, false},
      {"playing under VAS", true,
       [](RecordingTest& t) {
         t.WriteWav(t.InDocuments("Speech.wav"), 8192, NumberedSamples(8000));
         t.T().SetFilePath(u"\\My Documents\\Quillon\\Speech.wav");
         t.T().Play(1);
         ASSERT_TRUE(t.T().AudioIO.IsPlaying());
       },
       true},
      {"idle under VAS, Stop disabled", true,
       [](RecordingTest& t) {
         t.T().CloseStreams();
         audio::VasEnabled = 1;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(DocumentsFolder());
    WriteSettings([&](settings::SettingsRecord& r) { r.VasMode = c.vas ? 2 : 1; });
    Start();
    EXPECT_EQ(T().AudioIO.Direction, c.vas ? WaveDirection::Input : WaveDirection::None)
        << "listening from the start under VAS";
    EXPECT_EQ(audio::RecordingActive, 0);
    c.arrange(*this);
    const std::u16string before = Shown(Area::FileName);
    T().Record(1);
    if (c.pauses) {
      EXPECT_FALSE(fs::exists(InDocuments("Recording01.wav")));
      EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPaused);
    } else {
      EXPECT_EQ(T().AudioIO.Paused, 0);
      EXPECT_EQ(audio::RecordingActive, 1);
      EXPECT_EQ(V().ShownStatusIcon(), app::kStatusRecording);
      EXPECT_TRUE(fs::exists(InDocuments("Recording00.wav")));
    }
    EXPECT_TRUE(errors_.empty()) << errors_.front().toStdString();
    window_.reset();
  }
}

// Each way a new recording can fail is told, and leaves nothing running.
TEST_F(RecordingTest, EveryFailureOfANewRecordingIsToldAndLeavesNothingRunning) {
  struct Case {
    const char* what;
    std::function<void(RecordingTest&)> arrange;
    QString message;
  };
  const Case cases[] = {
      {"format refused", [](RecordingTest& t) { t.device_->SetFailures({.refuseFormats = true}); },
       "Format not support"},
      {"no sound device", [](RecordingTest& t) { t.device_->SetFailures({.noDevice = platform::kWaveNoDriver}); },
       "No sound device driver is present."},
      {"device busy", [](RecordingTest& t) { t.device_->SetFailures({.openInput = platform::kWaveAllocated}); },
       QString::fromStdU16String(platform::WaveErrorText(platform::kWaveAllocated))},
      {"file cannot be made",
       [](RecordingTest& t) {
         fs::remove_all(t.DocumentsFolder());
         testsupport::WriteHostFile(t.DocumentsFolder(), "a file where the folder goes");
       },
       "IAudioStream::Open(): failed\n\nNot a directory"},
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    errors_.clear();
    c.arrange(*this);
    Tap(view::kRecordButton);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], c.message);
    EXPECT_EQ(audio::RecordingActive, 0);
    EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
    EXPECT_EQ(T().AudioIO.Stream.load(), nullptr);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
    device_->SetFailures({});
    fs::remove_all(DocumentsFolder());
  }
}

// Exit, closing the window: the recording is finished and the view's
// volume, threshold and toggle are in a 700-byte settings.dat.
TEST_F(RecordingTest, ShutdownDuringARecordingKeepsTheFileAndSavesTheSettings) {
  for (bool viaExit : {true, false}) {
    SCOPED_TRACE(viaExit ? "Exit" : "close");
    fs::remove_all(DocumentsFolder());
    WriteSettings([](settings::SettingsRecord& r) { r.FormatId = 8192; });
    const Bytes input = NumberedSamples(40000);
    device_->SetInputBytes(input);
    Start();
    V().SetSliderPercent(view::kVolumeSlider, 40);
    V().SetSliderPercent(view::kThresholdSlider, 25);
    Tap(view::kRecordButton);
    StepBuffers(20);
    if (viaExit) {
      C().OnCommand(app::kCmdExit);
      ASSERT_TRUE(WaitFor([&] { return window_->Controller() == nullptr; }));
    } else {
      window_->close();
    }
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(audio::RecordingActive, 0);

    const Bytes file = ReadFileBytes(InDocuments("Recording00.wav"));
    ExpectConsistent(file);
    const Bytes data = DataChunk(file);
    EXPECT_GE(data.size(), 19 * 640u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), input.begin()));

    const Bytes saved = ReadFileBytes(roots_.Config() + "/settings.dat");
    ASSERT_EQ(saved.size(), 700u);
    settings::SettingsRecord record;
    std::memcpy(&record, saved.data(), sizeof record);
    EXPECT_EQ(record.Volume, 40);
    EXPECT_EQ(record.VasThreshold, 25);
    EXPECT_EQ(record.VasMode, 1);
    EXPECT_EQ(record.FormatId, 8192);
    window_.reset();
  }
}

TEST_F(RecordingTest, ACardKeepsItsRecordingsAndAMissingCardIsReportedWithoutEndingTheProgram) {
  WriteSettings([](settings::SettingsRecord& r) { std::memcpy(r.Storage, u"Storage Card", 26); });
  Start();
  Tap(view::kRecordButton);
  StepBuffers(3);
  Tap(view::kStopButton);
  EXPECT_TRUE(fs::exists(roots_.Card(u"Storage Card") + "/Quillon/Recording00.wav"));
  EXPECT_EQ(Shown(Area::Storage), u"Storage Card");
  EXPECT_TRUE(errors_.empty());
  window_.reset();

  WriteSettings([](settings::SettingsRecord& r) { std::memcpy(r.Storage, u"Gone", 10); });
  Start();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(errors_[0].startsWith("CreateDirectory(): failed\n\n")) << errors_[0].toStdString();
  EXPECT_TRUE(window_->isVisible()) << "the program runs on, so the storage can be changed";
  Tap(view::kRecordButton);
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[1], errors_[0]);
  EXPECT_EQ(audio::RecordingActive, 0);

  std::memcpy(C().Settings.Record.Storage, u"Main Memory", 24);
  Tap(view::kRecordButton);
  EXPECT_EQ(audio::RecordingActive, 1);
  EXPECT_TRUE(fs::exists(InDocuments("Recording00.wav")));
}

// A file-size limit (a full disk alike) stops the recording with the
// system's text; the file keeps what was written.
TEST_F(RecordingTest, AFailedWriteStopsTheRecordingWithTheSystemsText) {
  WriteSettings([](settings::SettingsRecord& r) { r.FormatId = 8192; });
  const Bytes input = NumberedSamples(40000);
  device_->SetInputBytes(input);
  Start();
  Tap(view::kRecordButton);
  StepBuffers(2);
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto size = fs::file_size(InDocuments("Recording00.wav"));
  rlimit limit = saved;
  limit.rlim_cur = size + 5 * 640 + 100;
  setrlimit(RLIMIT_FSIZE, &limit);
  for (int i = 0; i < 40 && errors_.empty(); ++i) StepBuffers(1);
  ASSERT_TRUE(WaitFor([&] { return !errors_.empty(); }));
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_EQ(errors_[0], "IAudioStream::Write(): failed\n\nFile too large");
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_FALSE(Enabled(view::kStopButton));
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  const Bytes file = ReadFileBytes(InDocuments("Recording00.wav"));
  ExpectConsistent(file);
  const Bytes data = DataChunk(file);
  EXPECT_GE(data.size(), 6 * 640u);
  EXPECT_EQ(data.size() % 640, 0u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), input.begin()));
}

// The refresh a new recording asks for does not stop it; deleting its file
// in the list stops it first.
TEST_F(RecordingTest, DeletingTheFileBeingRecordedStopsTheRecordingFirst) {
  Touch("Recording00.wav");
  Start();
  List().SetDeleteConfirmation([](const QString&) { return true; });
  Tap(view::kRecordButton);
  StepBuffers(3);
  EXPECT_EQ(audio::RecordingActive, 1) << "the list's refresh stopped the recording";
  ASSERT_EQ(List().Count(), 2);
  const int index = List().PathAt(0) == u"\\My Documents\\Quillon\\Recording01.wav" ? 0 : 1;
  ASSERT_TRUE(List().DeleteItem(index));
  Pump();
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  EXPECT_FALSE(fs::exists(InDocuments("Recording01.wav")));
  EXPECT_EQ(List().Count(), 1);
  EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace apptest
