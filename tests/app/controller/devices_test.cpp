// The sound devices through the main window: the device chosen on the
// Audio page is the one opened, under the recording's or the file's name; a
// chosen device that is missing is named and never swapped for another; one
// that goes mid-recording stops it with a valid file, one that goes while
// voice activation only listens is told once; input a recording lost is
// told after it. On the virtual device with its devices listed. (Listening
// moving to a microphone chosen on the sheet is walked by the sequence test.)

#include <filesystem>

#include "app_fixture.h"
#include "platform/wave_device.h"
#include "platform/wave_route.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

class DevicesTest : public AppTest {
 public:
  void SetUp() override {
    AppTest::SetUp();
    device_->SetEndpoints(true, {{"builtin", "Built-in Audio Analog Stereo", true}, {"usb", "USB Headset Mono"}});
    device_->SetEndpoints(false, {{"speakers", "Speakers", true}, {"phones", "Headphones"}});
  }
  void TearDown() override {
    AppTest::TearDown();
    platform::SetWaveRoute(true, {});
    platform::SetWaveRoute(false, {});
  }
  void Prefer(const std::string& lines) {
    fs::create_directories(roots_.Config());
    ASSERT_TRUE(testsupport::WriteHostFile(roots_.Config() + "/preferences.txt", lines));
  }
};

TEST_F(DevicesTest, TheChosenDevicesOpenUnderTheRecordingsAndTheFilesNames) {
  Prefer("RecordDevice=usb\nRecordDeviceName=USB Headset Mono\nPlayDevice=phones\nPlayDeviceName=Headphones\n");
  device_->SetInputBytes(NumberedSamples(8000));
  Start();
  Tap(view::kRecordButton);
  StepBuffers(10);
  Tap(view::kStopButton);
  ASSERT_TRUE(errors_.empty()) << errors_.front().toStdString();
  const platform::WaveRoute in = device_->LastRoute(true);
  EXPECT_EQ(in.deviceId, "usb");
  EXPECT_EQ(in.streamName, "Recording00");

  Tap(view::kPlayButton);
  const platform::WaveRoute out = device_->LastRoute(false);
  EXPECT_EQ(out.deviceId, "phones");
  EXPECT_EQ(out.streamName, "Recording00");
  EXPECT_TRUE(PlayToEnd());
  EXPECT_TRUE(errors_.empty());
}

TEST_F(DevicesTest, AChosenDeviceThatIsMissingIsNamedAndNothingStarts) {
  Prefer("RecordDevice=webcam\nRecordDeviceName=Webcam Microphone\nPlayDevice=hdmi\nPlayDeviceName=HDMI Output\n");
  WriteWav(InDocuments("A.wav"), 8192, NumberedSamples(16000));  // 2 s
  Start();
  Tap(view::kRecordButton);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0],
            "\"Webcam Microphone\", the device to record from, is not connected. Connect it, or choose another one "
            "on the Audio page of the settings.");
  EXPECT_EQ(device_->InputOpens(), 0) << "never the default instead";
  EXPECT_FALSE(fs::exists(InDocuments("Recording00.wav")));
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);

  errors_.clear();
  C().OnNotify(app::kDocListActivated, 0, List().PathAt(0));
  Pump();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0],
            "\"HDMI Output\", the device to play to, is not connected. Connect it, or choose another one on the "
            "Audio page of the settings.");
  EXPECT_EQ(device_->OutputOpens(), 0);
  // The file stays shown, with its length: not a blank and 0 seconds.
  EXPECT_EQ(Shown(Area::FileName), u"A");
  EXPECT_EQ(Shown(Area::Length), u"(00:00:02)");
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
}

// The chosen microphone pulled out while voice activation only listens: no
// recording stopped, so one box says it is not connected (Record says so
// again), not that a recording stopped.
TEST_F(DevicesTest, AMicrophoneThatGoesWhileOnlyListeningIsToldOnceAndNoRecordingIsClaimed) {
  Prefer("RecordDevice=usb\nRecordDeviceName=USB Headset Mono\n");
  device_->SetInputBytes(NumberedSamples(80000));
  Start();
  Tap(view::kVasButton);
  StepBuffers(5);
  ASSERT_EQ(device_->LastRoute(true).deviceId, "usb");
  device_->RemoveEndpoint(true, "usb");
  ASSERT_TRUE(WaitFor([&] {
    device_->StepMs(40);
    return !errors_.empty();
  }));
  Pump();
  const QString missing =
      "\"USB Headset Mono\", the device to record from, is not connected. Connect it, or choose another one on the "
      "Audio page of the settings.";
  EXPECT_EQ(errors_, std::vector<QString>{missing});
  EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::None);
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  errors_.clear();
  Tap(view::kRecordButton);
  EXPECT_EQ(errors_, std::vector<QString>{missing});
  EXPECT_FALSE(fs::exists(InDocuments("Recording00.wav")));
}

TEST_F(DevicesTest, ADeviceThatGoesMidRecordingStopsItWithEverythingUntilThen) {
  Prefer("RecordDevice=usb\nRecordDeviceName=USB Headset Mono\n");
  WriteSettings([](settings::SettingsRecord& r) { r.FormatId = 8192; });
  const Bytes input = NumberedSamples(80000);
  device_->SetInputBytes(input);
  Start();
  Tap(view::kRecordButton);
  StepBuffers(25);  // one second
  device_->RemoveEndpoint(true, "usb");
  ASSERT_TRUE(WaitFor([&] {
    device_->StepMs(40);
    return !errors_.empty();
  }));
  EXPECT_EQ(errors_.back(),
            "\"USB Headset Mono\", the device recorded from, disappeared. The recording stopped; it holds everything "
            "up to that moment.");
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::None);
  const Bytes data = DataChunk(ReadFileBytes(InDocuments("Recording00.wav")));
  ASSERT_EQ(data.size(), 25u * 640);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), input.begin()));
}

// A write that stalls 10 s while the microphone runs on: the 8 s ring takes
// what it can, and the user learns of the rest when the recording stops.
// (The stall is the voice-activation clock's, read on the device's thread
// with every buffer.)
TEST_F(DevicesTest, InputLostToAStallIsToldAfterTheRecording) {
  for (const int stallMs : {2000, 10000}) {
    SCOPED_TRACE(stallMs);
    fs::remove_all(DocumentsFolder());
    WriteSettings([](settings::SettingsRecord& r) {
      r.VasMode = 2;
      r.VasThreshold = 0;  // every buffer is voice
    });
    device_->SetInputLive(true);
    errors_.clear();
    Start();
    int calls = 0;
    T().AudioIO.TickSource = [this, &calls, stallMs] {
      if (audio::RecordingActive && ++calls == 10) {
        for (int ms = 0; ms < stallMs; ms += 20) {
          device_->Clock().Advance(20000);
          platform::WaveDevice::WaitUntilAllSettled(10000, true);
        }
      }
      return static_cast<uint32_t>(device_->Clock().NowMicros() / 1000);
    };
    Tap(view::kRecordButton);
    StepBuffers(30);
    Tap(view::kStopButton);
    Pump();
    if (stallMs == 2000) {
      EXPECT_TRUE(errors_.empty()) << errors_.front().toStdString();
    } else {
      ASSERT_EQ(errors_.size(), 1u);
      EXPECT_EQ(errors_[0], "2000 ms of input were lost.");
    }
    window_.reset();
  }
}

}  // namespace
}  // namespace apptest
