// Writes that cannot complete leave a valid WAV whose header matches its data.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <tuple>
#include <vector>

#include "audio/format_presets.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using audiotest::HostPath;
using audiotest::Le32;

TEST(WaveWriteLimits, RiffSizeNeverPassesFourGiB) {
  audiotest::TempDir dir;
  const std::vector<uint8_t> block(640, 3);
  audiotest::TestStream s;
  s.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(s.Open(HostPath(dir.File("big.wav")), kStreamWrite));
  // 36 + frames x 2 may reach 4 GiB - 1: 2147483629 frames at most.
  s.TotalFrames = 2147483629u - 319;
  EXPECT_FALSE(s.Write(block.data(), 320));
  EXPECT_EQ(platform::GetLastError(), EFBIG);
  EXPECT_EQ(s.TotalFrames, 2147483629u - 319) << "a refused block counts nothing";
  EXPECT_EQ(audiotest::ReadBytes(dir.File("big.wav")).size(), 44u);
  s.TotalFrames = 2147483629u - 320;
  ASSERT_TRUE(s.Write(block.data(), 320));
  EXPECT_EQ(Le32(audiotest::ReadBytes(dir.File("big.wav")), 4), 0xFFFFFFFEu);
  EXPECT_EQ(Le32(audiotest::ReadBytes(dir.File("big.wav")), 40), 0xFFFFFFFEu - 36);
  // The file end must stay addressable as well.
  s.EndPos = 0xFFFFFFFFu - 600;
  EXPECT_FALSE(s.Write(block.data(), 1000));
  EXPECT_EQ(platform::GetLastError(), EFBIG);
}

TEST(WaveWriteLimits, GsmPairsStopBeforeFourGiB) {
  audiotest::TempDir dir;
  const std::vector<uint8_t> block(640, 0);
  audiotest::TestStream s;
  s.SetFormat(kFormatGsm610);
  ASSERT_TRUE(s.Open(HostPath(dir.File("big.wav")), kStreamWrite));
  // 52 + pairs x 65 <= 4 GiB - 1 allows 66076419 pairs.
  s.PairsWritten = 66076419u;
  s.DataBytes = 66076419u * 65;
  EXPECT_FALSE(s.Write(block.data(), 320));
  EXPECT_EQ(platform::GetLastError(), EFBIG);
  EXPECT_EQ(s.PairsWritten, 66076419u);
  EXPECT_EQ(audiotest::ReadBytes(dir.File("big.wav")).size(), 60u);
  s.PairsWritten = 66076418u;
  EXPECT_TRUE(s.Write(block.data(), 320));
  EXPECT_EQ(s.DataBytes, 66076419u * 65);
  EXPECT_EQ(Le32(audiotest::ReadBytes(dir.File("big.wav")), 4), 52u + 66076419u * 65);
}

// The process may write no further than `bytes` into any file; with SIGXFSZ
// ignored the write fails with EFBIG, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previous_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  void (*previous_)(int);
  rlimit saved_{};
};

TEST(WaveWriteLimits, FullDiskLeavesAMatchingHeader) {
  const std::vector<uint8_t> block = audiotest::AsBytes(audiotest::SpeechLike(320));
  for (auto [formatId, header, blockBytes] : {std::tuple{kFormatPcm8k16, 44u, 640u}, {kFormatGsm610, 60u, 65u}}) {
    SCOPED_TRACE(formatId);
    audiotest::TempDir dir;
    const std::string path = dir.File("full.wav");
    size_t written = 0;
    {
      audiotest::TestStream s;
      s.SetFormat(formatId);
      ASSERT_TRUE(s.Open(HostPath(path), kStreamWrite));
      FileSizeLimit limit(header + 3 * blockBytes + blockBytes / 2);
      while (s.Write(block.data(), 320) && written < 100) ++written;
      EXPECT_EQ(platform::GetLastError(), EFBIG);
    }
    EXPECT_EQ(written, 3u);
    const auto f = audiotest::ReadBytes(path);
    ASSERT_EQ(f.size(), header + 3 * blockBytes) << "the half-written block is cut off";
    EXPECT_EQ(Le32(f, 4), f.size() - 8);
    EXPECT_EQ(Le32(f, header - 4), 3 * blockBytes);
    audiotest::TestStream r;
    ASSERT_TRUE(r.Open(HostPath(path), kStreamRead));
    size_t blocks = 0;
    audiotest::ReadAll(r, kReadForward, &blocks);
    EXPECT_EQ(blocks, 3u);
  }
}

}  // namespace
}  // namespace audio
