// The RIFF header as written and as parsed.

#include <gtest/gtest.h>

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
  std::string Put(const Bytes& bytes) {
    WriteBytes(dir_.File("in.wav"), bytes);
    return dir_.File("in.wav");
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
  EXPECT_EQ(ReadBytes(pcm), Riff({{"fmt ", PcmFmt(1, 11025, 16)}, {"data", {}}}));
  EXPECT_EQ(ReadBytes(gsm), Riff({{"fmt ", GsmFmt()}, {"fact", {0, 0, 0, 0}}, {"data", {}}}));
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
    const Bytes f = ReadBytes(gsm);
    EXPECT_EQ(Le32(f, 48), (f.size() - 60) / 65 * 320) << "GSM samples after " << frames;
  }
}

TEST_F(WaveHeaderTest, RejectsWhatIsNotAWavThisProgramPlays) {
  const Bytes data(1280, 0), pcm = PcmFmt(1, 8000, 16), fact = {100, 0, 0, 0};
  Bytes notWave = Riff({{"fmt ", pcm}, {"data", data}}), floatFmt = PcmFmt(1, 8000, 32), zeroAlign = pcm;
  notWave[8] = 'A';
  floatFmt[0] = 3;
  zeroAlign[12] = zeroAlign[13] = 0;
  const Bytes rejected[] = {
      {'R', 'I', 'F', 'F', 4, 0, 0, 0},
      notWave,
      Riff({{"LIST", {1, 2, 3, 4}}, {"fmt ", pcm}, {"data", data}}),  // fmt not first
      Riff({{"fmt ", floatFmt}, {"data", data}}),
      Riff({{"fmt ", pcm}, {"LIST", data}}),                         // no data chunk
      Riff({{"fmt ", pcm}, {"junk", data, 0xFFFFFFF0u}}),            // a chunk past the end
      Riff({{"fmt ", GsmFmt(-1)}, {"fact", fact}, {"data", data}}),  // no extra size
      Riff({{"fmt ", GsmFmt(1)}, {"fact", fact}, {"data", data}}),   // extra size below 2
      Riff({{"fmt ", GsmFmt(4)}, {"fact", fact}, {"data", data}}),   // extra beyond the chunk
      Riff({{"fmt ", zeroAlign}, {"data", data}}),                   // block aligns that never fit a device block
      Riff({{"fmt ", PcmFmt(1, 8000, 16, 641)}, {"data", data}}),
  };
  for (size_t i = 0; i < std::size(rejected); ++i) {
    TestStream s;
    platform::SetLastError(ENOMEM);
    EXPECT_FALSE(s.Open(HostPath(Put(rejected[i])), kStreamRead)) << "case " << i;
    EXPECT_EQ(platform::GetLastError(), 0) << "case " << i;
  }
  TestStream g, p;
  ASSERT_TRUE(g.Open(HostPath(Put(Riff({{"fmt ", GsmFmt()}, {"fact", fact}, {"data", data}}))), kStreamRead));
  EXPECT_EQ(g.GetFormat(), GsmDeviceFormat());
  EXPECT_TRUE(p.Open(HostPath(Put(Riff({{"fmt ", PcmFmt(1, 8000, 16, 640)}, {"data", data}}))), kStreamRead));
}

// An 18-byte fmt (extra size 0, as some writers make it) and an odd-sized
// chunk with its pad byte before data; then a data chunk claiming more than
// the file holds, as a crashed recording leaves it.
TEST_F(WaveHeaderTest, ChunkWalkSkipsPadBytesAndDataEndsWithTheFile) {
  Bytes samples(100), fmt = PcmFmt(1, 8000, 8);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i + 1);
  fmt.insert(fmt.end(), {0, 0});
  TestStream s, p;
  const Bytes padded = Riff({{"fmt ", fmt}, {"LIST", {'I', 'N', 'F', 'O', 'x'}}, {"data", samples}});
  ASSERT_TRUE(s.Open(HostPath(Put(padded)), kStreamRead));
  EXPECT_EQ(ReadAll(s, kReadForward), samples);

  const Bytes longPcm = Riff({{"fmt ", PcmFmt(1, 8000, 16)}, {"data", Bytes(1001, 7), 0x7FFFFFFF}});
  ASSERT_TRUE(p.Open(HostPath(Put(longPcm)), kStreamRead));
  EXPECT_EQ(p.GetLengthFrames(), 500u) << "whole frames of what the file holds";
  EXPECT_EQ(ReadAll(p, kReadForward).size(), 1000u);
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
  p.TotalFrames = 2147483629u - 320;
  g.PairsWritten = 66076418u;
  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 320));
  EXPECT_EQ(Le32(ReadBytes(dir_.File("p.wav")), 4), 0xFFFFFFFEu);
  EXPECT_EQ(Le32(ReadBytes(dir_.File("g.wav")), 4), 52u + 66076419u * 65);
  p.EndPos = 0xFFFFFFFFu - 600;  // the file end must stay addressable as well
  EXPECT_FALSE(p.Write(block.data(), 1000));
}

// A full disk in the middle of a block: the write fails and the file keeps
// every block before it, with a header that says so.
TEST_F(WaveHeaderTest, FullDiskKeepsAValidFileOfTheBlocksWritten) {
  const Bytes block(640, 5);
  WaveFileStream s;
  s.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(s.Open(HostPath(dir_.File("full.wav")), kStreamWrite));
  ASSERT_TRUE(s.Write(block.data(), 320));
  EXPECT_FALSE(testsupport::UnderFileSizeLimit(44 + 640 + 100, [&] { return s.Write(block.data(), 320); }));
  s.Close();
  const Bytes file = ReadBytes(dir_.File("full.wav"));
  ASSERT_EQ(file.size(), 44u + 640);
  EXPECT_EQ(std::pair(Le32(file, 4), Le32(file, 40)), std::pair(36u + 640, 640u));
}

}  // namespace
}  // namespace audio
