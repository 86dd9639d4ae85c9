// 24 hours of recording through the main window, in GSM and in 8000 Hz
// 16-bit PCM, on the virtual device's clock run as fast as the machine goes
// and an input that ends after exactly 24 hours. The view shows the length,
// the file has exactly 24 hours of data and a header that says so, and
// nothing the recording allocated is left once the window has gone.
// Minutes of work: skipped unless QUILLON_SOAK=1 (make soak).
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app_fixture.h"
#include "diag/tracker.h"

namespace apptest {
namespace {

constexpr int64_t kDaySeconds = 24 * 60 * 60;

class SoakTest : public AppTest {
 public:
  void SetUp() override {
    if (std::getenv("QUILLON_SOAK") == nullptr || std::string(std::getenv("QUILLON_SOAK")) != "1") {
      GTEST_SKIP() << "a soak run: QUILLON_SOAK=1 (make soak)";
    }
    AppTest::SetUp();
  }
};

TEST_F(SoakTest, ADayOfRecordingHasItsLengthSizeAndHeaderAndLeavesNothingAllocated) {
  struct Case {
    uint32_t formatId;
    uint64_t dataBytes;  // 24 hours of it
    uint32_t headerBytes;
  };
  // GSM: 25 device buffers a second, one 65-byte pair each.
  for (const Case& c :
       {Case{49, uint64_t{kDaySeconds} * 25 * 65, 60}, Case{8192, uint64_t{kDaySeconds} * 16000, 44}}) {
    SCOPED_TRACE(c.formatId);
    std::filesystem::remove_all(DocumentsFolder());
    WriteSettings([&](settings::SettingsRecord& r) { r.FormatId = static_cast<int32_t>(c.formatId); });
    const uint32_t liveBefore = diag::CurrentBytes();
    Start();
    device_->SetInputLimitMicros(kDaySeconds * 1000000);
    // Faster than anything can follow: the recording goes as fast as it is written.
    device_->Clock().RunAtSpeed(1e7);
    const auto started = std::chrono::steady_clock::now();
    Tap(view::kRecordButton);
    const std::string path = InDocuments("Recording00.wav");
    const uint64_t full = c.headerBytes + c.dataBytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(9);
    while (!std::filesystem::exists(path) || std::filesystem::file_size(path) < full) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "24 hours not recorded in time";
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    std::printf("format %u: a day recorded in %lld s of wall time\n", c.formatId,
                static_cast<long long>(seconds.count()));
    // The input has ended: the device waits for time that never comes.
    ASSERT_TRUE(device_->WaitUntilSettled());
    ASSERT_TRUE(WaitFor([&] { return Shown(Area::Length) == u"(24:00:00)"; }))
        << QString::fromStdU16String(Shown(Area::Length)).toStdString();
    EXPECT_EQ(Shown(Area::Time), u"24:00:00");
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusRecording);
    Tap(view::kStopButton);
    Pump();
    EXPECT_EQ(V().ShownStatusIcon(), app::kStatusStopped);
    EXPECT_EQ(Shown(Area::Length), u"(24:00:00)");
    EXPECT_TRUE(errors_.empty());

    EXPECT_EQ(std::filesystem::file_size(path), full);
    audio::WaveFileStream stream;
    ASSERT_TRUE(stream.Open(std::u16string(path.begin(), path.end()), audio::kStreamRead));
    EXPECT_EQ(stream.GetLengthSeconds(), kDaySeconds);
    if (c.formatId == 49) {
      EXPECT_EQ(stream.GetDataBytes(), c.dataBytes);
    } else {
      EXPECT_EQ(stream.GetLengthFrames(), c.dataBytes / 2);
    }
    stream.Close();
    window_.reset();
    EXPECT_EQ(diag::CurrentBytes(), liveBefore) << "the recording left tracked blocks behind";
  }
}

}  // namespace
}  // namespace apptest
