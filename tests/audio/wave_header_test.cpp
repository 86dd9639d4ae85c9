// The RIFF header as written and as parsed, and writes that cannot complete.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "audio/format_presets.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;

class WaveHeaderTest : public ::testing::Test {
 protected:
  std::string Put(const Bytes& bytes, const std::string& name = "in.wav") {
    WriteBytes(dir_.File(name), bytes);
    return dir_.File(name);
  }
  static Bytes Wav(const Bytes& fmt, const Bytes& data) {
    return RiffBuilder().Chunk("fmt ", fmt).Chunk("data", data).Build();
  }
  static Bytes Gsm(const Bytes& fmt) {
    return RiffBuilder().Chunk("fmt ", fmt).Chunk("fact", {100, 0, 0, 0}).Chunk("data", Bytes(130, 0)).Build();
  }
  TempDir dir_;
};

TEST_F(WaveHeaderTest, NewRecordingsAndTheirSizesAfterEveryBlock) {
  const Bytes block = AsBytes(SpeechLike(320));
  const std::string pcm = dir_.File("p.wav"), gsm = dir_.File("g.wav");
  WaveFileStream p, g;
  EXPECT_EQ(p.SetFormat(kFormatPcm11k16), 2u);
  EXPECT_EQ(g.SetFormat(kFormatGsm610), 0u);
  ASSERT_TRUE(p.Open(HostPath(pcm), kStreamWrite));
  ASSERT_TRUE(g.Open(HostPath(gsm), kStreamWrite));
  EXPECT_EQ(ReadBytes(pcm), Wav(PcmFmt(1, 11025, 16), {}));
  EXPECT_EQ(ReadBytes(gsm), RiffBuilder().Chunk("fmt ", GsmFmt()).Chunk("fact", {100, 0, 0, 0}).Chunk("data", {}).Build());
  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 0));  // GSM ignores the frame count
  EXPECT_EQ(ReadBytes(pcm).size(), 684u);
  EXPECT_EQ(ReadBytes(gsm).size(), 125u);
  for (uint32_t frames : {17u, 1u, 0u, 320u}) {
    ASSERT_TRUE(p.Write(block.data(), frames));
    ASSERT_TRUE(g.Write(block.data(), frames));
    for (auto [path, header] : {std::pair{pcm, 44u}, {gsm, 60u}}) {
      const Bytes f = ReadBytes(path);
      EXPECT_EQ(Le32(f, 4), f.size() - 8) << path << " RIFF size after " << frames;
      EXPECT_EQ(Le32(f, header - 4), f.size() - header) << path << " data size after " << frames;
    }
  }
  EXPECT_EQ(p.GetLengthFrames(), 320u * 2 + 17 + 1);
  EXPECT_EQ(g.GetDataBytes(), 65u * 5);
}

TEST_F(WaveHeaderTest, RejectsWhatIsNotAWavThisProgramPlays) {
  const Bytes data(1280, 0), pcm = PcmFmt(1, 8000, 16);
  Bytes notWave = Wav(pcm, data), floatFmt = PcmFmt(1, 8000, 32), zeroAlign = pcm;
  notWave[8] = 'A';
  floatFmt[0] = 3;
  zeroAlign[12] = zeroAlign[13] = 0;
  const Bytes rejected[] = {
      {'R', 'I', 'F', 'F', 4, 0, 0, 0},
      notWave,
      RiffBuilder().Chunk("LIST", {1, 2, 3, 4}).Chunk("fmt ", pcm).Chunk("data", data).Build(),  // fmt not first
      Wav(floatFmt, data),
      RiffBuilder().Chunk("fmt ", pcm).Chunk("LIST", data).Build(),                  // no data chunk
      RiffBuilder().Chunk("fmt ", pcm).RawChunk("junk", 0xFFFFFFF0u, data).Build(),  // a chunk past the end
      Gsm(GsmFmt(-1)),                                                               // no extra size
      Gsm(GsmFmt(1)),                                                                // extra size below 2
      Gsm(GsmFmt(4)),                                                                // extra beyond the chunk
      Wav(zeroAlign, data),  // block aligns that never fit a device block
      Wav(PcmFmt(1, 8000, 16, 641), data),
  };
  for (size_t i = 0; i < std::size(rejected); ++i) {
    TestStream s;
    platform::SetLastError(ENOMEM);
    EXPECT_FALSE(s.Open(HostPath(Put(rejected[i])), kStreamRead)) << "case " << i;
    EXPECT_EQ(platform::GetLastError(), 0) << "case " << i;
  }
  // A larger GSM extra size is accepted and its surplus skipped.
  TestStream g;
  ASSERT_TRUE(g.Open(HostPath(Put(Gsm(GsmFmt(6, 4)))), kStreamRead));
  EXPECT_EQ(g.GetFormat(), GsmDeviceFormat());
  EXPECT_EQ(g.GetDataBytes(), 130u);
  TestStream p;
  EXPECT_TRUE(p.Open(HostPath(Put(Wav(PcmFmt(1, 8000, 16, 640), data))), kStreamRead));
}

// An 18-byte fmt (extra size 0, as some writers make it) and an odd-sized
// chunk with its pad byte before data; then a data chunk claiming more than
// the file holds, as a crashed recording leaves it.
TEST_F(WaveHeaderTest, ChunkWalkSkipsPadBytesAndDataEndsWithTheFile) {
  Bytes samples(100), fmt = PcmFmt(1, 8000, 8);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i + 1);
  fmt.insert(fmt.end(), {0, 0});
  const Bytes padded = RiffBuilder().Chunk("fmt ", fmt).Chunk("LIST", {'I', 'N', 'F', 'O', 'x'}).Chunk("data", samples).Build();
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Put(padded)), kStreamRead));
  EXPECT_EQ(s.GetLengthFrames(), 100u);
  EXPECT_EQ(ReadAll(s, kReadForward), samples);

  const Bytes longPcm =
      RiffBuilder().Chunk("fmt ", PcmFmt(1, 8000, 16)).RawChunk("data", 0x7FFFFFFF, Bytes(1001, 7)).Build();
  TestStream p;
  ASSERT_TRUE(p.Open(HostPath(Put(longPcm)), kStreamRead));
  EXPECT_EQ(p.GetLengthFrames(), 500u) << "whole frames of what the file holds";
  EXPECT_EQ(p.EndPos, longPcm.size());
  EXPECT_EQ(ReadAll(p, kReadForward).size(), 1000u);
  TestStream g;  // two and a half pairs play two
  ASSERT_TRUE(g.Open(HostPath(Put(RiffBuilder().Chunk("fmt ", GsmFmt()).RawChunk("data", 65000, Bytes(162, 0)).Build())),
                     kStreamRead));
  EXPECT_EQ(g.GetDataBytes(), 162u);
  EXPECT_EQ(ReadBlocks(g, kReadForward).size(), 2u);
}

// 36 + frames x 2 and 52 + pairs x 65 may reach 4 GiB - 1 and never pass it;
// a refused block counts nothing.
TEST_F(WaveHeaderTest, RiffSizeNeverPassesFourGiB) {
  const Bytes block(640, 3);
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
  EXPECT_EQ(ReadBytes(dir_.File("p.wav")).size(), 44u);
  EXPECT_EQ(ReadBytes(dir_.File("g.wav")).size(), 60u);
  p.TotalFrames = 2147483629u - 320;
  g.PairsWritten = 66076418u;
  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 320));
  EXPECT_EQ(Le32(ReadBytes(dir_.File("p.wav")), 4), 0xFFFFFFFEu);
  EXPECT_EQ(Le32(ReadBytes(dir_.File("g.wav")), 4), 52u + 66076419u * 65);
  p.EndPos = 0xFFFFFFFFu - 600;  // the file end must stay addressable as well
  EXPECT_FALSE(p.Write(block.data(), 1000));
}

// With the process's file size limit and SIGXFSZ ignored a write fails with
// EFBIG, as on a full disk: the half-written block is cut off.
TEST_F(WaveHeaderTest, FullDiskLeavesAMatchingHeader) {
  const Bytes block(640, 5);
  const std::string path = dir_.File("full.wav");
  TestStream s;
  s.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(s.Open(HostPath(path), kStreamWrite));
  rlimit saved{}, limit{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 44 + 3 * 640 + 320;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  int written = 0;
  while (written < 10 && s.Write(block.data(), 320)) ++written;
  const int error = platform::GetLastError();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(written, 3);
  const Bytes f = ReadBytes(path);
  ASSERT_EQ(f.size(), 44u + 3 * 640);
  EXPECT_EQ(Le32(f, 4), f.size() - 8);
  EXPECT_EQ(Le32(f, 40), 3u * 640);
}

}  // namespace
}  // namespace audio
