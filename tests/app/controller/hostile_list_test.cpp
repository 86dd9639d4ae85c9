// What a hostile or careless name, card or device does to the list and the
// transport: it is refused or reported, never obeyed to a recording's cost.
#include <filesystem>

#include "app_fixture.h"
#include "platform/device_paths.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using audio::WaveDirection;

class HostileListTest : public AppTest {
 public:
  void Activate(int index) { C().OnNotify(app::kDocListActivated, index, List().PathAt(index)); }
  std::vector<std::string> Listed() {
    std::vector<std::string> names;
    for (int i = 0; i < List().Count(); ++i) names.push_back(List().DisplayNameAt(i).toStdString());
    return names;
  }
};

TEST_F(HostileListTest, NamesThatCouldNotBeOpenedAreNotListedAndALongOneSaysWhy) {
  WriteWav(InDocuments("First.wav"), 8192, NumberedSamples(3200));
  // Bytes that are no UTF-8 in the name (the fixture's writer would encode them).
  fs::copy_file(InDocuments("First.wav"), InDocuments(std::string("Bad\xff\xfe.wav")));
  WriteWav(InDocuments("Back\\slash.wav"), 8192, NumberedSamples(3200));
  // With "\My Documents\Quillon\" and ".wav", 240 characters pass the 260 of a path.
  const std::string longName(240, 'L');
  WriteWav(InDocuments(longName + ".wav"), 8192, NumberedSamples(3200));
  Start();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"First", longName}));
  Activate(1);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(errors_[0].contains("too long")) << errors_[0].toStdString();
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  // Selected and Play tapped: the same.
  List().Select(1);
  Pump();
  Tap(view::kPlayButton);
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  // Reached with Next from the first item: the same, and the first plays on.
  Activate(0);
  Tap(view::kNextButton);
  EXPECT_EQ(errors_.size(), 3u);
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusPlaying);
  EXPECT_EQ(std::u16string(T().FilePath), List().PathAt(0));
}

TEST_F(HostileListTest, AVolumeNamedLikeTheProgramsOwnPlacesIsNoCard) {
  testsupport::TempRoots roots({u"My Documents", u"program files", u"Main Memory", u"Real"});
  std::vector<std::u16string> names;
  for (const platform::StorageCard& card : platform::DevicePaths::StorageCards()) names.push_back(card.name);
  EXPECT_EQ(names, std::vector<std::u16string>{u"Real"});
  for (const std::u16string storage : {u"My Documents", u"Program Files"}) {
    WriteSettings([&](settings::SettingsRecord& r) {
      std::fill(std::begin(r.Storage), std::end(r.Storage), u'\0');
      std::copy(storage.begin(), storage.end(), r.Storage);
    });
    errors_.clear();
    Start();
    Tap(view::kRecordButton);
    EXPECT_EQ(audio::RecordingActive, 0);
    EXPECT_EQ(errors_.size(), 2u) << "at start and at Record: no such card";
    window_.reset();
  }
  EXPECT_FALSE(fs::exists(roots.Documents() + "/Quillon"));
  EXPECT_FALSE(fs::exists(roots.Config() + "/Quillon"));
}

TEST_F(HostileListTest, ARecordingStopsAndSaysSoWhenItsCardGoes) {
  WriteSettings([](settings::SettingsRecord& r) {
    std::fill(std::begin(r.Storage), std::end(r.Storage), u'\0');
    std::copy_n(u"Storage Card", 12, r.Storage);
  });
  Start();
  Tap(view::kRecordButton);
  ASSERT_EQ(audio::RecordingActive, 1);
  StepBuffers(10);
  const std::string file = roots_.Card(u"Storage Card") + "/Quillon/Recording00.wav";
  platform::DevicePaths::SetStorageCards({});
  ASSERT_TRUE(WaitFor([&] { return audio::RecordingActive == 0; }));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(errors_[0].contains("Storage Card")) << errors_[0].toStdString();
  EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
  // What was written before is a whole file.
  EXPECT_EQ(DataChunk(ReadFileBytes(file)).size() % 65, 0u);
  EXPECT_GT(DataChunk(ReadFileBytes(file)).size(), 0u);
}

TEST_F(HostileListTest, AFormatTheDeviceRefusesSaysSoAlikeForRecordAndPlay) {
  WriteWav(InDocuments("Pcm.wav"), 8192, NumberedSamples(3200));
  Start();
  platform::VirtualWaveFailures refuse;
  refuse.refuseFormats = true;
  device_->SetFailures(refuse);
  Tap(view::kRecordButton);
  Activate(0);
  EXPECT_EQ(errors_, (std::vector<QString>{"Format not support", "Format not support."}));
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
}

}  // namespace
}  // namespace apptest
