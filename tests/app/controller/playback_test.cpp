// Playback through the main window: what the device hears, the play modes at
// the end of a file, pause and restart, scanning, seeking, bad files.
#include <filesystem>

#include "app_fixture.h"
#include "gsm_reference.h"
#include "view/hardware_buttons.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using audio::WaveDirection;

class PlaybackTest : public AppTest {
 public:
  // Files A.wav, B.wav, C.wav of `buffers` 640-byte blocks each, told apart
  // by their first sample.
  void ThreeFiles(int buffers = 4) {
    for (int i = 0; i < 3; ++i) {
      Bytes samples = NumberedSamples(320 * buffers);
      samples[0] = static_cast<uint8_t>(0xA0 + i);
      WriteWav(InDocuments(std::string(1, static_cast<char>('A' + i)) + ".wav"), 8192, samples);
    }
  }
  // Which file each capture of the device played, by its first byte.
  std::string PlayedOrder() {
    std::string order;
    for (const auto& capture : device_->Captures()) {
      if (!capture.bytes.empty()) order += static_cast<char>('A' + (capture.bytes[0] - 0xA0));
    }
    return order;
  }
  void Activate(int index) { C().OnNotify(app::kDocListActivated, index, List().PathAt(index)); }
};

TEST_F(PlaybackTest, TheDeviceHearsTheFilesDecodedSamplesAndTheViewFollows) {
  const Bytes pcm = NumberedSamples(8000 * 3);   // 3 s
  const Bytes speech = NumberedSamples(320 * 51);  // 51 pairs: an odd count
  WriteWav(InDocuments("Pcm.wav"), 8192, pcm);
  WriteWav(InDocuments("Gsm.wav"), 49, speech);
  Start();
  ASSERT_EQ(List().Count(), 2);
  EXPECT_TRUE(Enabled(view::kPlayButton)) << "recordings listed at start can be played";

  for (const auto& [name, expected, length] :
       {std::tuple{u"Gsm", GsmDecode(GsmEncode(speech)), u"(00:00:02)"}, std::tuple{u"Pcm", pcm, u"(00:00:03)"}}) {
    const int index = List().PathAt(0).find(name) != std::u16string::npos ? 0 : 1;
    Activate(index);
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPlaying);
    EXPECT_EQ(Shown(Area::FileName), name);
    EXPECT_EQ(Shown(Area::Length), length);
    EXPECT_EQ(Shown(Area::Storage), u"Main Memory");
    for (int id : {view::kStopButton, view::kForwardButton, view::kRewindButton}) EXPECT_TRUE(Enabled(id));
    EXPECT_FALSE(Enabled(view::kVasButton));
    StepBuffers(30);
    EXPECT_TRUE(WaitFor([&] { return Shown(Area::Time) == u"00:00:01"; }));
    EXPECT_TRUE(WaitFor([&] { return V().SliderPercent(view::kPositionSlider) > 0; }));
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped) << "the default play mode stops after one file";
    EXPECT_EQ(device_->LastCapture().bytes, expected);
    EXPECT_EQ(Shown(Area::Time), u"00:00:00");
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(PlaybackTest, EachPlayModeDecidesWhatFollowsTheEndOfAFile) {
  struct Case {
    int mode;
    int first;
    std::string played;  // until nothing more starts, or three files
    bool playingAfter;
  };
  const Case cases[] = {
      {1, 0, "ABC", false},  // the list once
      {2, 2, "CAB", true},   // the list again from the top
      {3, 1, "B", false},    // one file
      {4, 0, "AAA", true},   // the same file again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    fs::remove_all(DocumentsFolder());
    ThreeFiles();
    WriteSettings([&](settings::SettingsRecord& r) { r.PlayMode = c.mode; });
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
    Start();
    Activate(c.first);
    StepUntil([&] { return device_->Captures().size() >= c.played.size(); }, 500);
    StepBuffers(1);  // the last file started is heard
    if (!c.playingAfter) {
      ASSERT_TRUE(PlayToEnd());
    }
    EXPECT_EQ(PlayedOrder(), c.played);
    EXPECT_EQ(T().AudioIO.Direction == WaveDirection::Output, c.playingAfter);
    window_.reset();
  }
}

TEST_F(PlaybackTest, ListeningResumesAfterTheEndUnderVoiceActivation) {
  ThreeFiles();
  WriteSettings([](settings::SettingsRecord& r) { r.VasMode = 2; });
  Start();
  ASSERT_EQ(T().AudioIO.Direction, WaveDirection::Input);
  Activate(0);
  ASSERT_TRUE(WaitFor([&] {
    device_->StepMs(40);
    return T().AudioIO.Direction == WaveDirection::Input;
  }));
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_TRUE(Enabled(view::kVasButton));
  EXPECT_FALSE(fs::exists(InDocuments("Recording00.wav")));
}

TEST_F(PlaybackTest, PlayPausesAndResumesTheSameFileAndATrackMoveRestartsIt) {
  WriteWav(InDocuments("Only.wav"), 8192, NumberedSamples(8000 * 2));
  Start();
  Activate(0);
  StepBuffers(5);
  Tap(view::kPlayButton);
  EXPECT_EQ(T().AudioIO.Paused, 1);
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPaused);
  EXPECT_EQ(V().Buttons[1].Face, view::FacePaused);
  EXPECT_FALSE(Enabled(view::kForwardButton));
  Tap(view::kPlayButton);
  EXPECT_EQ(T().AudioIO.Paused, 0);
  EXPECT_EQ(V().Buttons[1].Face, view::FaceActive);
  EXPECT_EQ(device_->Captures().size(), 1u);

  // One item, the list repeated: next wraps onto the same file and starts it anew.
  C().Settings.Record.PlayMode = 2;
  StepBuffers(5);
  Tap(view::kNextButton);
  EXPECT_EQ(device_->Captures().size(), 2u);
  EXPECT_EQ(T().AudioIO.Paused, 0);
  EXPECT_EQ(T().TrackJump, 0);
  // Played once, the end of the list holds.
  C().Settings.Record.PlayMode = 1;
  Tap(view::kPreviousButton);
  EXPECT_EQ(device_->Captures().size(), 2u);
  EXPECT_EQ(T().TrackJump, 1);
}

TEST_F(PlaybackTest, ForwardAndRewindScanWhileHeldAndTheirReleaseWhilePausedDiffers) {
  WriteWav(InDocuments("Long.wav"), 8192, NumberedSamples(8000 * 10));
  Start();
  Activate(0);
  StepBuffers(5);
  for (int id : {view::kForwardButton, view::kRewindButton}) {
    Press(id);
    EXPECT_EQ(T().AudioIO.ScanMode, id == view::kForwardButton ? audio::ScanForward : audio::ScanBackward);
    StepBuffers(3);
    EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 16000u) << "double rate";
    Release(id);
    EXPECT_EQ(T().AudioIO.ScanMode, audio::ScanNone);
    EXPECT_EQ(device_->LastCapture().format.samplesPerSec, 8000u);
    EXPECT_TRUE(T().AudioIO.IsPlaying());
  }
  // Holding a key does the same: Right is bound to Forward.
  T().OnKeyDown(view::kKeyRight);
  EXPECT_EQ(T().AudioIO.ScanMode, audio::ScanForward);
  T().OnKeyUp(view::kKeyRight);
  EXPECT_EQ(T().AudioIO.ScanMode, audio::ScanNone);

  T().TogglePause(1);
  T().Rewind(1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Output) << "Rewind released while paused changes nothing";
  EXPECT_EQ(T().AudioIO.Paused, 1);
  T().Forward(1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None) << "Forward released while paused stops";
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_TRUE(errors_.empty());
}

// After the seek the device hears the file from the slider's percent on;
// paused, first the buffers it already held.
TEST_F(PlaybackTest, ASeekLandsAtTheSlidersPercentPlayingOrPaused) {
  const Bytes data = NumberedSamples(8000 * 10);
  WriteWav(InDocuments("Long.wav"), 8192, data);
  Start();
  Activate(0);
  StepBuffers(3);
  for (bool paused : {false, true}) {
    SCOPED_TRACE(paused);
    if (paused) T().TogglePause(1);
    const int percent = paused ? 30 : 70;
    const size_t heard = device_->LastCapture().bytes.size();
    V().SetSliderPercent(view::kPositionSlider, percent);
    T().OnSlider(view::kPositionSlider, 1);
    EXPECT_EQ(T().AudioIO.Paused, paused ? 1 : 0);
    if (paused) T().TogglePause(1);
    const size_t held = paused ? 3 * 640 : 0;
    StepBuffers(5);
    const Bytes after = device_->LastCapture().bytes;
    ASSERT_GE(after.size(), heard + held + 640);
    // A seek lands one frame before the percent's frame.
    const size_t from = (data.size() / 2 * percent / 100 - 1) * 2;
    EXPECT_TRUE(std::equal(after.begin() + heard + held, after.begin() + heard + held + 640, data.begin() + from));
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(PlaybackTest, ABrokenHeaderIsAWrongFormatAndADeletedFileIsNothing) {
  fs::create_directories(DocumentsFolder());
  testsupport::WriteHostFile(InDocuments("Broken.wav"), std::string("RIFF\x10\0\0\0WAVEjunk", 16) + std::string(200, 'x'));
  WriteWav(InDocuments("Gone.wav"), 8192, NumberedSamples(3200));
  Start();
  T().SetFilePath(u"\\My Documents\\Quillon\\Broken.wav");
  T().Play(1);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "Wrong file format.");
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);

  fs::remove(InDocuments("Gone.wav"));
  T().SetFilePath(u"\\My Documents\\Quillon\\Gone.wav");
  T().Play(1);
  EXPECT_EQ(errors_.size(), 1u);
  EXPECT_EQ(Shown(Area::FileName), u"");
  EXPECT_EQ(Shown(Area::Length), u"");
  EXPECT_EQ(device_->Captures().size(), 0u);
}

TEST_F(PlaybackTest, FileInfoTakesTheStorageFromThePath) {
  Start();
  struct Case {
    std::u16string path, name, storage;
  };
  V().ShowStorage(u"before");
  for (const Case& c : {Case{u"\\My Documents\\Quillon\\Recording03.wav", u"Recording03", u"Main Memory"},
                        Case{u"\\Storage Card\\Quillon\\Take.1.wav", u"Take.1", u"Storage Card"},
                        Case{u"\\Lonely.wav", u"Lonely", u"Storage Card"}}) {
    T().SetFilePath(c.path);
    T().ShowFileInfo(0);
    EXPECT_EQ(Shown(Area::FileName), c.name);
    EXPECT_EQ(Shown(Area::Storage), c.storage) << "a path with one backslash keeps the storage text";
  }
}

}  // namespace
}  // namespace apptest
