// What a WaveFileStream opens and creates when the name holds no ordinary
// file, or the disk has no room left.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "platform/last_error.h"
#include "support/fifo_files.h"
#include "wave_test_files.h"

namespace audio {
namespace {

namespace fs = std::filesystem;
using namespace audiotest;

class WaveStreamFilesTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// A FIFO (or a link to one) named like a recording is no WAV file: the open
// fails at once without a system error, as a header that is not one does;
// a link to a recording plays.
TEST_F(WaveStreamFilesTest, AFifoIsAWrongFormatAtOnceAndALinkToARecordingOpens) {
  ASSERT_TRUE(Record(dir_.File("real.wav"), kFormatPcm8k16, Bytes(640, 7)));
  fs::create_symlink(dir_.File("real.wav"), dir_.File("link.wav"));
  ASSERT_TRUE(testsupport::MakeFifo(dir_.File("fifo.wav")));
  fs::create_symlink(dir_.File("fifo.wav"), dir_.File("fifo-link.wav"));
  const struct {
    const char* name;
    bool opens;
  } cases[] = {{"link.wav", true}, {"fifo.wav", false}, {"fifo-link.wav", false}};
  for (const auto& c : cases) {
    WaveFileStream stream;
    bool opened = !c.opens;
    int error = -1;
    ASSERT_TRUE(testsupport::FinishesWithoutWaitingOn(dir_.File("fifo.wav"), [&] {
      platform::SetLastError(0);
      opened = stream.Open(HostPath(dir_.File(c.name)), kStreamRead);
      error = platform::GetLastError();
    })) << c.name << " made the open wait";
    EXPECT_EQ(opened, c.opens) << c.name;
    if (c.opens) {
      EXPECT_EQ(stream.GetLengthFrames(), 320u);
    } else {
      EXPECT_EQ(error, 0) << c.name << ": a wrong format has no system error";
    }
  }
}

// A recording whose header cannot be written (the disk full) leaves no file;
// an existing file written over is not removed; and nothing is created
// through a link, even one that leads nowhere.
TEST_F(WaveStreamFilesTest, AHeaderThatCannotBeWrittenLeavesNoFileAndNoLinkIsWrittenThrough) {
  for (const uint32_t format : {kFormatPcm8k16, kFormatGsm610}) {
    WaveFileStream stream;
    stream.SetFormat(format);
    EXPECT_FALSE(testsupport::UnderFileSizeLimit(
        20, [&] { return stream.Open(HostPath(dir_.File("full.wav")), kStreamWrite); }));
    EXPECT_EQ(platform::GetLastError(), EFBIG);
    EXPECT_FALSE(fs::exists(dir_.File("full.wav"))) << format;
  }
  ASSERT_TRUE(Record(dir_.File("old.wav"), kFormatPcm8k16, Bytes(6400, 7)));
  WaveFileStream over;
  over.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(over.Open(HostPath(dir_.File("old.wav")), kStreamWrite));
  over.Close();
  EXPECT_EQ(fs::file_size(dir_.File("old.wav")), 44u) << "written over in place";

  const std::string outside = dir_.Base() + "/outside.wav";
  fs::create_symlink(outside, dir_.File("dangling.wav"));
  WaveFileStream linked;
  linked.SetFormat(kFormatPcm8k16);
  EXPECT_FALSE(linked.Open(HostPath(dir_.File("dangling.wav")), kStreamWrite));
  EXPECT_EQ(platform::GetLastError(), ELOOP);
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_TRUE(fs::is_symlink(dir_.File("dangling.wav")));
}

}  // namespace
}  // namespace audio
