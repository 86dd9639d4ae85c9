// The RIFF header as written and as parsed, through WaveFileStream, and
// writes that cannot complete, which leave a header that matches the data.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <tuple>
#include <vector>

#include "audio/format_presets.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;

class WaveHeaderTest : public ::testing::Test {
 protected:
  std::string Put(const std::vector<uint8_t>& bytes, const std::string& name = "in.wav") {
    WriteBytes(dir_.File(name), bytes);
    return dir_.File(name);
  }
  // Opens for reading; a rejected header carries no system error.
  bool Opens(const std::vector<uint8_t>& bytes) {
    TestStream s;
    platform::SetLastError(ENOMEM);
    const bool ok = s.Open(HostPath(Put(bytes)), kStreamRead);
    if (!ok) {
      EXPECT_EQ(platform::GetLastError(), 0);
    }
    return ok;
  }
  static std::vector<uint8_t> Wav(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data) {
    return RiffBuilder().Chunk("fmt ", fmt).Chunk("data", data).Build();
  }
  TempDir dir_;
};

// New files are a PCM header of 44 bytes and a GSM one of 60 with "fact";
// their sizes are patched after every block.
TEST_F(WaveHeaderTest, NewRecordingsAndTheirSizesAfterEveryBlock) {
  const std::vector<uint8_t> block = AsBytes(SpeechLike(320));
  const std::string pcm = dir_.File("p.wav"), gsm = dir_.File("g.wav");
  WaveFileStream p;
  TestStream g;
  EXPECT_EQ(p.SetFormat(kFormatPcm11k16), 2u);
  EXPECT_EQ(g.SetFormat(kFormatGsm610), 0u);
  ASSERT_TRUE(p.Open(HostPath(pcm), kStreamWrite));
  ASSERT_TRUE(g.Open(HostPath(gsm), kStreamWrite));
  EXPECT_EQ(g.BlockAlign, 65u);
  EXPECT_EQ(g.DataSizePos, 56u);
  EXPECT_EQ(ReadBytes(pcm), Wav(PcmFmt(1, 11025, 16), {}));
  EXPECT_EQ(ReadBytes(gsm),
            RiffBuilder().Chunk("fmt ", GsmFmt()).Chunk("fact", {100, 0, 0, 0}).Chunk("data", {}).Build());

  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 0));  // GSM ignores the frame count
  auto f = ReadBytes(pcm);
  EXPECT_EQ(f.size(), 684u);
  EXPECT_EQ(Le32(f, 4), 676u);
  EXPECT_EQ(Le32(f, 40), 640u);
  f = ReadBytes(gsm);
  EXPECT_EQ(f.size(), 125u);
  EXPECT_EQ(Le32(f, 4), 117u);
  EXPECT_EQ(Le32(f, 56), 65u);

  for (uint32_t frames : {320u, 17u, 1u, 0u, 320u}) {
    ASSERT_TRUE(p.Write(block.data(), frames));
    ASSERT_TRUE(g.Write(block.data(), frames));
    for (auto [path, header] : {std::pair{pcm, 44u}, {gsm, 60u}}) {
      f = ReadBytes(path);
      EXPECT_EQ(Le32(f, 4), f.size() - 8) << path << " RIFF size after " << frames;
      EXPECT_EQ(Le32(f, header - 4), f.size() - header) << path << " data size after " << frames;
    }
  }
  EXPECT_EQ(p.GetLengthFrames(), 320u * 3 + 17 + 1);
  EXPECT_EQ(g.GetDataBytes(), 65u * 6);
}

TEST_F(WaveHeaderTest, RejectsWhatIsNotAWavThisProgramPlays) {
  const std::vector<uint8_t> data(1280, 0);
  const auto pcm = PcmFmt(1, 8000, 16);
  auto notRiff = Wav(pcm, data), notWave = Wav(pcm, data);
  notRiff[0] = 'X';
  notWave[8] = 'A';
  auto shortFmt = pcm, floatFmt = PcmFmt(1, 8000, 32), zeroAlign = pcm;
  shortFmt.resize(14);
  floatFmt[0] = 3;  // IEEE float
  zeroAlign[12] = zeroAlign[13] = 0;
  auto gsm = [pairs = std::vector<uint8_t>(130, 0)](const std::vector<uint8_t>& fmt) {
    return RiffBuilder().Chunk("fmt ", fmt).Chunk("fact", {100, 0, 0, 0}).Chunk("data", pairs).Build();
  };
  const std::vector<uint8_t> rejected[] = {
      {},
      {'R', 'I', 'F', 'F', 4, 0, 0, 0},
      notRiff,
      notWave,
      RiffBuilder().Chunk("LIST", {1, 2, 3, 4}).Chunk("fmt ", pcm).Chunk("data", data).Build(),  // fmt not first
      Wav(shortFmt, data),
      Wav(floatFmt, data),
      RiffBuilder().Chunk("fmt ", pcm).Chunk("LIST", data).Build(),                    // no data chunk
      RiffBuilder().Chunk("fmt ", pcm).RawChunk("junk", 0xFFFFFFF0u, data).Build(),  // a chunk past the end
      gsm(GsmFmt(-1)),                                                               // no extra size
      gsm(GsmFmt(1)),                                                                // extra size below 2
      gsm(GsmFmt(4, 320, 0)),                                                        // extra beyond the chunk
      Wav(PcmFmt(1, 8000, 16, 0xFFFF), data),
      Wav(zeroAlign, data),
      Wav(PcmFmt(1, 8000, 16, 641), data),  // a block that would never fit a device block
  };
  for (size_t i = 0; i < std::size(rejected); ++i) EXPECT_FALSE(Opens(rejected[i])) << "case " << i;
  EXPECT_TRUE(Opens(gsm(GsmFmt(2))));
  EXPECT_TRUE(Opens(Wav(PcmFmt(1, 8000, 16, 640), data)));
  EXPECT_TRUE(Opens(Wav(PcmFmt(2, 12345, 24), data)));

  // A larger GSM extra size is accepted and its surplus skipped; whatever
  // the file claims (here 16000 Hz), the device gets the one GSM format.
  auto large = GsmFmt(6, 320, 4);
  large[4] = 0x80;
  large[5] = 0x3E;
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Put(gsm(large))), kStreamRead));
  EXPECT_EQ(s.GetFormat(), GsmDeviceFormat());
  EXPECT_EQ(s.GetGsmFormat().Format.SamplesPerSec, 16000u);
  EXPECT_EQ(s.GetGsmFormat().Format.ExtraSize, 6);
  EXPECT_EQ(s.GetGsmFormat().SamplesPerBlock, 320);
  EXPECT_EQ(s.GetDataBytes(), 130u);
  EXPECT_EQ(s.GetLengthSeconds(), 0u);  // 130 / 1625
}

TEST_F(WaveHeaderTest, ChunksBeforeDataAreSkippedWithTheirPadByte) {
  std::vector<uint8_t> samples(100);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i + 1);
  // An 18-byte fmt (extra size 0, as some writers make it), an odd-sized
  // chunk with its pad byte, a fact chunk, then data.
  auto fmt = PcmFmt(1, 8000, 8);
  fmt.insert(fmt.end(), {0, 0});
  const auto file = RiffBuilder()
                        .Chunk("fmt ", fmt)
                        .Chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
                        .Chunk("fact", {100, 0, 0, 0})
                        .Chunk("data", samples)
                        .Build();
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Put(file)), kStreamRead));
  EXPECT_EQ(s.DataSizePos, file.size() - samples.size() - 4);
  EXPECT_EQ(s.GetLengthFrames(), 100u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(ReadAll(s, kReadForward), samples);
}

TEST_F(WaveHeaderTest, DataChunkLongerThanTheFileEndsWithTheFile) {
  const auto file = RiffBuilder()
                        .Chunk("fmt ", PcmFmt(1, 8000, 16))
                        .RawChunk("data", 0x7FFFFFFF, std::vector<uint8_t>(1001, 7))
                        .Build();
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Put(file)), kStreamRead));
  EXPECT_EQ(s.GetLengthFrames(), 500u) << "whole frames of what the file holds";
  EXPECT_EQ(s.EndPos, file.size());
  EXPECT_EQ(ReadAll(s, kReadForward).size(), 1000u);

  // A GSM recording that crashed after two and a half pairs plays two.
  const auto gsm = RiffBuilder().Chunk("fmt ", GsmFmt()).RawChunk("data", 65000, std::vector<uint8_t>(162, 0)).Build();
  TestStream g;
  ASSERT_TRUE(g.Open(HostPath(Put(gsm, "g.wav")), kStreamRead));
  EXPECT_EQ(g.GetDataBytes(), 162u);
  size_t blocks = 0;
  ReadAll(g, kReadForward, &blocks);
  EXPECT_EQ(blocks, 2u);
}

// The largest file sizes: 36 + frames x 2 and 52 + pairs x 65 may reach
// 4 GiB - 1 and never pass it; a refused block counts nothing.
TEST_F(WaveHeaderTest, RiffSizeNeverPassesFourGiB) {
  const std::vector<uint8_t> block(640, 3);
  TestStream p, g;
  p.SetFormat(kFormatPcm8k16);
  g.SetFormat(kFormatGsm610);
  ASSERT_TRUE(p.Open(HostPath(dir_.File("p.wav")), kStreamWrite));
  ASSERT_TRUE(g.Open(HostPath(dir_.File("g.wav")), kStreamWrite));
  p.TotalFrames = 2147483629u - 319;
  g.PairsWritten = 66076419u;
  g.DataBytes = 66076419u * 65;
  for (TestStream* s : {&p, &g}) {
    EXPECT_FALSE(s->Write(block.data(), 320));
    EXPECT_EQ(platform::GetLastError(), EFBIG);
  }
  EXPECT_EQ(p.TotalFrames, 2147483629u - 319);
  EXPECT_EQ(g.PairsWritten, 66076419u);
  EXPECT_EQ(ReadBytes(dir_.File("p.wav")).size(), 44u);
  EXPECT_EQ(ReadBytes(dir_.File("g.wav")).size(), 60u);

  p.TotalFrames = 2147483629u - 320;
  g.PairsWritten = 66076418u;
  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 320));
  EXPECT_EQ(Le32(ReadBytes(dir_.File("p.wav")), 4), 0xFFFFFFFEu);
  EXPECT_EQ(Le32(ReadBytes(dir_.File("p.wav")), 40), 0xFFFFFFFEu - 36);
  EXPECT_EQ(g.DataBytes, 66076419u * 65);
  EXPECT_EQ(Le32(ReadBytes(dir_.File("g.wav")), 4), 52u + 66076419u * 65);
  p.EndPos = 0xFFFFFFFFu - 600;  // the file end must stay addressable as well
  EXPECT_FALSE(p.Write(block.data(), 1000));
  EXPECT_EQ(platform::GetLastError(), EFBIG);
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

TEST_F(WaveHeaderTest, FullDiskLeavesAMatchingHeader) {
  const std::vector<uint8_t> block = AsBytes(SpeechLike(320));
  for (auto [formatId, header, blockBytes] : {std::tuple{kFormatPcm8k16, 44u, 640u}, {kFormatGsm610, 60u, 65u}}) {
    SCOPED_TRACE(formatId);
    const std::string path = dir_.File("full.wav");
    size_t written = 0;
    {
      TestStream s;
      s.SetFormat(formatId);
      ASSERT_TRUE(s.Open(HostPath(path), kStreamWrite));
      FileSizeLimit limit(header + 3 * blockBytes + blockBytes / 2);
      while (s.Write(block.data(), 320) && written < 100) ++written;
      EXPECT_EQ(platform::GetLastError(), EFBIG);
    }
    EXPECT_EQ(written, 3u);
    const auto f = ReadBytes(path);
    ASSERT_EQ(f.size(), header + 3 * blockBytes) << "the half-written block is cut off";
    EXPECT_EQ(Le32(f, 4), f.size() - 8);
    EXPECT_EQ(Le32(f, header - 4), 3 * blockBytes);
    TestStream r;
    ASSERT_TRUE(r.Open(HostPath(path), kStreamRead));
    size_t blocks = 0;
    ReadAll(r, kReadForward, &blocks);
    EXPECT_EQ(blocks, 3u);
  }
}

}  // namespace
}  // namespace audio
