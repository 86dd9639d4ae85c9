// The Audio page: "Default" and the devices by description, the choices and
// the pre-roll read from and written to the preferences, a chosen device
// that is not connected kept, and lists that follow devices coming and
// going while the page exists: on the virtual device's lists, and on a
// private PulseAudio daemon's sources and sinks.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "audio/device_choice.h"
#include "platform/pulse_wave_device.h"
#include "sheet/audio_page.h"
#include "sheet_fixture.h"
#include "support/pulse_server.h"

namespace sheettest {
namespace {

using sheet::AudioPage;
using sheet::SettingsSheet;

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

class AudioPageTest : public SheetTest {
 protected:
  AudioPageTest() {
    device_->SetEndpoints(true, {{"builtin", "Built-in Audio Analog Stereo", true}, {"usb", "USB Headset Mono"}});
    device_->SetEndpoints(false, {{"speakers", "Speakers", true}});
  }
  AudioPage* OpenAudio() {
    Open(4);
    return PageAt<AudioPage>(SettingsSheet::kAudioPage);
  }
};

TEST_F(AudioPageTest, ListsDefaultFirstAndWritesTheChoicesAndThePreRoll) {
  AudioPage* page = OpenAudio();
  EXPECT_EQ(page->Heading(), "Audio");
  EXPECT_EQ(Items(page->RecordBox()), QStringList({"Default", "Built-in Audio Analog Stereo", "USB Headset Mono"}));
  EXPECT_EQ(Items(page->PlayBox()), QStringList({"Default", "Speakers"}));
  EXPECT_EQ(page->RecordBox()->currentText(), "Default");
  EXPECT_EQ(page->PreRollValue()->text(), "300 ms") << "the default";
  EXPECT_EQ(page->PreRollSlider()->maximum(), 10);

  page->RecordBox()->setCurrentIndex(2);
  QSlider* slider = page->PreRollSlider();
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_End);
  EXPECT_EQ(page->PreRollValue()->text(), "1000 ms");
  QTest::keyClick(slider, Qt::Key_Home);
  EXPECT_EQ(page->PreRollValue()->text(), "0 ms");
  EXPECT_FALSE(store_.Preferences.Changed()) << "nothing is written while the page stays";
  Switch(0);
  const settings::PreferencesStore& p = store_.Preferences;
  EXPECT_EQ(p.Get("RecordDevice"), "usb");
  EXPECT_EQ(p.Get("RecordDeviceName"), "USB Headset Mono");
  EXPECT_EQ(p.Get("PlayDevice"), "");
  EXPECT_EQ(p.Get("PreRollMs"), "0");
  EXPECT_EQ(store_.Record.FormatId, 49) << "settings.dat's record is not touched";
}

// The preferences as read: a stored choice is selected; one not connected
// is kept, marked, and written back unchanged; a pre-roll off its steps or
// range reads as the default.
TEST_F(AudioPageTest, AChosenDeviceThatIsNotConnectedStaysChosen) {
  const struct { const char* stored; const char* shown; } rolls[] = {{"700", "700 ms"}, {"250", "300 ms"},
                                                                        {"5000", "300 ms"}, {"x", "300 ms"}};
  for (const auto& roll : rolls) {
    store_.Preferences.Set("RecordDevice", "webcam");
    store_.Preferences.Set("RecordDeviceName", "Webcam Microphone");
    store_.Preferences.Set("PlayDevice", "speakers");
    store_.Preferences.Set("PreRollMs", roll.stored);
    AudioPage* page = OpenAudio();
    EXPECT_EQ(page->RecordBox()->currentText(), "Webcam Microphone (not connected)");
    EXPECT_EQ(page->PlayBox()->currentText(), "Speakers");
    EXPECT_EQ(page->PreRollValue()->text(), roll.shown) << roll.stored;
    sheet_->OkButton()->click();
    EXPECT_EQ(store_.Preferences.Get("RecordDevice"), "webcam");
    EXPECT_EQ(store_.Preferences.Get("RecordDeviceName"), "Webcam Microphone");
  }
}

TEST_F(AudioPageTest, ListsFollowDevicesThatComeAndGoAndKeepTheChoice) {
  AudioPage* page = OpenAudio();
  page->RecordBox()->setCurrentIndex(2);  // USB Headset Mono
  device_->SetEndpoints(true, {{"builtin", "Built-in Audio Analog Stereo", true},
                               {"webcam", "Webcam Microphone"}, {"usb", "USB Headset Mono"}});
  QApplication::processEvents();
  EXPECT_EQ(Items(page->RecordBox()),
            QStringList({"Default", "Built-in Audio Analog Stereo", "Webcam Microphone", "USB Headset Mono"}));
  EXPECT_EQ(page->RecordBox()->currentText(), "USB Headset Mono");
  device_->RemoveEndpoint(true, "usb");
  QApplication::processEvents();
  EXPECT_EQ(page->RecordBox()->currentText(), "USB Headset Mono (not connected)");
  sheet_.reset();
  device_->SetEndpoints(true, {});  // the page is gone: nobody listens
  QApplication::processEvents();
}

// On a real server: its sources and sinks by description (no monitors), a
// source plugged in while the page shows it appears in the list.
TEST_F(AudioPageTest, ShowsTheServersDevicesAndOnePluggedInMeanwhile) {
  testsupport::PulseServer server({{"mic_a", "Built-in Audio Analog Stereo", true},
                                   {"spk", "Speakers", false}});
  if (!server.Ok()) GTEST_SKIP() << server.Why();
  auto backend = platform::PulseWaveDevice::Connect();
  ASSERT_NE(backend, nullptr);
  platform::InstallWaveBackend(backend);
  AudioPage* page = OpenAudio();
  EXPECT_EQ(Items(page->RecordBox()), QStringList({"Default", "Built-in Audio Analog Stereo"}));
  EXPECT_EQ(Items(page->PlayBox()), QStringList({"Default", "Speakers"}));
  ASSERT_TRUE(server.Load({"usb_mic", "USB Headset Mono", true}));
  const QStringList want = {"Default", "Built-in Audio Analog Stereo", "USB Headset Mono"};
  for (int i = 0; i < 500 && Items(page->RecordBox()) != want; ++i) QTest::qWait(10);
  EXPECT_EQ(Items(page->RecordBox()), want);
  page->RecordBox()->setCurrentIndex(2);
  sheet_->OkButton()->click();
  EXPECT_EQ(store_.Preferences.Get("RecordDevice"), "usb_mic");
  sheet_.reset();
  platform::InstallWaveBackend(nullptr);
}

}  // namespace
}  // namespace sheettest
