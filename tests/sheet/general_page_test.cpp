#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "platform/wave_route.h"

#include "sheet/general_page.h"
#include "sheet/input_formats.h"
#include "sheet_fixture.h"

namespace sheettest {
namespace {

using sheet::GeneralPage;

constexpr char16_t kLongCard[] = u"A card whose folder name is forty long!!";
constexpr char16_t kFullCard[] = u"Thirty-two characters, no ending";  // fills Storage without terminator

class GeneralPageTest : public SheetTest {
 protected:
  GeneralPageTest() : SheetTest({u"Storage Card", u"zeta", u"Alpha", kLongCard, kFullCard}) {
    // "zeta" cannot tell its free space.
    sheet::SetFreeSpaceQuery([this](const std::u16string& path, uint64_t* freeBytes) {
      *freeBytes = path == u"\\My Documents" ? mainFree_ : path == u"\\Storage Card" ? 32'000'000 : 0;
      return path != u"\\zeta";
    });
  }
  GeneralPage* OpenGeneral() {
    Open(0);
    return PageAt<GeneralPage>(0);
  }
  // Format name, bit rate, sample rate and recording time.
  static std::string Texts(const GeneralPage* page) {
    return QStringList({page->FormatName()->text(), page->BitRate()->text(), page->SampleRate()->text(),
                        page->RecordingTime()->text()})
        .join('|')
        .toStdString();
  }

  uint64_t mainFree_ = 16'000'000;
};

TEST_F(GeneralPageTest, RecordingTimeIsTheStoresFreeBytesOverThePagesByteRate) {
  const struct { uint64_t free; int position; const char* time; } cases[] = {
      {16'000'000, 1, "02:13:20"},
      {16'000'000, 7, "00:06:03"},
      {5'000'000'000, 1, "694:26:40"},  // 2 GiB and more: the true time
      {uint64_t{1} << 63, 1, "1281023894007:36:27"},
  };
  for (const auto& c : cases) {
    mainFree_ = c.free;
    GeneralPage* page = OpenGeneral();
    page->FormatSlider()->setValue(c.position);
    EXPECT_EQ(page->RecordingTime()->text(), c.time) << c.free << " at " << c.position;
  }
  mainFree_ = 16'000'000;
  GeneralPage* page = OpenGeneral();
  EXPECT_EQ(Texts(page), "GSM|2 kb/sec|8 kHz|02:13:20");
  // Another store changes the time only; a card is asked for by its root.
  for (auto [store, time] : {std::pair{"Storage Card", "04:26:40"}, {"zeta", "00:00:00"}}) {
    page->StorageBox()->setCurrentText(store);
    EXPECT_EQ(Texts(page), std::string("GSM|2 kb/sec|8 kHz|") + time) << store;
  }
}

TEST_F(GeneralPageTest, SliderPositionsApplyTheirFormatAndWarnForTheLargeOnes) {
  const int32_t formats[] = {49, 4096, 1, 8192, 4, 16, 64};
  GeneralPage* page = OpenGeneral();
  for (int position = 7; position >= 1; --position) {
    const int32_t id = formats[position - 1];
    page->FormatSlider()->setValue(position);
    EXPECT_EQ(page->Warning()->isVisibleTo(page), id == 4 || id == 16 || id == 64) << position;
    if (position == 7) {
      EXPECT_EQ(Texts(page).substr(0, 21), "PCM|44 kb/sec|22 kHz|");
    }
    page->Apply();
    EXPECT_EQ(store_.Record.FormatId, id) << position;
    EXPECT_EQ(GeneralPage(&store_, nullptr).FormatSlider()->value(), position) << "opens where it was stored";
  }
  // A format not in the table: slider at its minimum, template texts, no warning.
  for (const int32_t unknown : {0, 12345}) {
    store_.Record.FormatId = unknown;
    page = OpenGeneral();
    EXPECT_EQ(page->FormatSlider()->value(), 1) << unknown;
    EXPECT_FALSE(page->Warning()->isVisibleTo(page)) << unknown;
    EXPECT_EQ(Texts(page), "fmt|bit|smprate|trt") << unknown;
    page->Apply();
    EXPECT_EQ(store_.Record.FormatId, 49) << "the slider's position is what is applied";
  }
}

// Answers only for 8 kHz, as a device that cannot be asked about anything else.
struct NoCapsDevice : platform::VirtualWaveDevice {
  platform::WaveResult QueryInput(uint32_t id, const platform::WaveRoute& route,
                                  const platform::WaveFormat& format) override {
    return format.samplesPerSec == 8000 ? VirtualWaveDevice::QueryInput(id, route, format) : platform::kWaveNoDriver;
  }
};

TEST_F(GeneralPageTest, SliderOffersAsManyPositionsAsTheInputTakesFormats) {
  const struct { const char* device; bool capsFail; platform::VirtualWaveFailures failures; int count; } devices[] = {
      {"takes everything", false, {}, 7},
      {"refuses 22.05 kHz", false, {.refuseRate = 22050}, 5},
      {"capabilities fail, GSM taken", true, {}, 1},
      {"refuses everything", false, {.refuseFormats = true}, 0},
  };
  for (const auto& d : devices) {
    auto device = d.capsFail ? std::make_shared<NoCapsDevice>() : std::make_shared<platform::VirtualWaveDevice>();
    device->SetFailures(d.failures);
    platform::InstallWaveBackend(device);
    EXPECT_EQ(sheet::CountInputFormats(), d.count) << d.device;
    const QSlider* slider = OpenGeneral()->FormatSlider();
    EXPECT_EQ(std::pair(slider->minimum(), slider->maximum()), std::pair(1, std::max(1, d.count))) << d.device;
  }
  // A chosen microphone that is unplugged: the default one answers for it,
  // and the choice stays.
  auto device = std::make_shared<platform::VirtualWaveDevice>();
  platform::InstallWaveBackend(device);
  platform::SetWaveRouteDevice(true, "usb", "USB Headset Mono");
  EXPECT_EQ(sheet::CountInputFormats(), 7);
  EXPECT_EQ(platform::CurrentWaveRoute(true).deviceId, "usb");
  platform::SetWaveRoute(true, {});
}

TEST_F(GeneralPageTest, StorageBoxIsSortedAndSelectsOnlyTheExactName) {
  GeneralPage* page = OpenGeneral();
  QStringList names;
  for (int i = 0; i < page->StorageBox()->count(); ++i) names << page->StorageBox()->itemText(i);
  EXPECT_EQ(names, QStringList({QString::fromUtf16(kLongCard), "Alpha", "Main Memory", "Storage Card",
                                QString::fromUtf16(kFullCard), "zeta"}));
  // A name not mounted (or not in its letter case) is kept as it was.
  const std::pair<std::u16string, int> cases[] = {{kFullCard, 4}, {u"storage card", -1}};
  for (const auto& [stored, selected] : cases) {
    std::fill(std::begin(store_.Record.Storage), std::end(store_.Record.Storage), u'\0');
    std::copy(stored.begin(), stored.end(), store_.Record.Storage);
    store_.Record.Buttons[0].Key = 'x';  // what follows an unterminated name
    page = OpenGeneral();
    EXPECT_EQ(page->StorageBox()->currentIndex(), selected) << QString::fromStdU16String(stored).toStdString();
    page->Apply();
    const char16_t* kept = store_.Record.Storage;
    EXPECT_EQ(std::u16string(kept, std::find(kept, kept + 32, u'\0')), stored.substr(0, 31));
  }
  page->StorageBox()->setCurrentIndex(0);
  page->Apply();
  EXPECT_EQ(std::u16string(store_.Record.Storage), std::u16string(kLongCard).substr(0, 31));
}

}  // namespace
}  // namespace sheettest
