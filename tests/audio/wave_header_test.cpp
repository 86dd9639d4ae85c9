// The RIFF header as written and as parsed, through WaveFileStream.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/format_presets.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using audiotest::Le16;
using audiotest::Le32;
using audiotest::RiffBuilder;

class WaveHeaderTest : public ::testing::Test {
 protected:
  std::string Put(const std::vector<uint8_t>& bytes, const std::string& name = "in.wav") {
    const std::string path = dir_.File(name);
    audiotest::WriteBytes(path, bytes);
    return path;
  }
  // Opens for reading; on failure the last error must say "no system error".
  bool Opens(const std::vector<uint8_t>& bytes) {
    audiotest::TestStream s;
    platform::SetLastError(ENOMEM);
    const bool ok = s.Open(audiotest::HostPath(Put(bytes)), kStreamRead);
    if (!ok) {
      EXPECT_EQ(platform::GetLastError(), 0) << "a rejected header carries no system error";
    }
    return ok;
  }
  audiotest::TempDir dir_;
};

// The header fields of a file this program wrote, checked against its length.
void ExpectConsistent(const std::vector<uint8_t>& f, bool gsm) {
  const size_t header = gsm ? 60 : 44;
  ASSERT_GE(f.size(), header);
  EXPECT_EQ(Le32(f, 4), f.size() - 8) << "RIFF size";
  EXPECT_EQ(Le32(f, header - 4), f.size() - header) << "data size";
}

TEST_F(WaveHeaderTest, NewPcmRecordingIs44Bytes) {
  const std::string path = dir_.File("r.wav");
  {
    WaveFileStream s;
    EXPECT_EQ(s.SetFormat(kFormatPcm11k16), 2u);
    ASSERT_TRUE(s.Open(audiotest::HostPath(path), kStreamWrite));
  }
  const auto f = audiotest::ReadBytes(path);
  ASSERT_EQ(f.size(), 44u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(f, 4), 36u);
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(f, 16), 16u);
  EXPECT_EQ(Le16(f, 20), 1);
  EXPECT_EQ(Le16(f, 22), 1);
  EXPECT_EQ(Le32(f, 24), 11025u);
  EXPECT_EQ(Le32(f, 28), 22050u);
  EXPECT_EQ(Le16(f, 32), 2);
  EXPECT_EQ(Le16(f, 34), 16);
  EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
  EXPECT_EQ(Le32(f, 40), 0u);
}

TEST_F(WaveHeaderTest, NewGsmRecordingIs60BytesWithFact) {
  const std::string path = dir_.File("g.wav");
  {
    audiotest::TestStream s;
    EXPECT_EQ(s.SetFormat(kFormatGsm610), 0u);
    ASSERT_TRUE(s.Open(audiotest::HostPath(path), kStreamWrite));
    EXPECT_EQ(s.BlockAlign, 65u);
    EXPECT_EQ(s.RiffSizePos, 4u);
    EXPECT_EQ(s.DataSizePos, 56u);
    EXPECT_EQ(s.EndPos, 60u);
  }
  const auto f = audiotest::ReadBytes(path);
  ASSERT_EQ(f.size(), 60u);
  EXPECT_EQ(Le32(f, 4), 52u);
  EXPECT_EQ(Le32(f, 16), 20u);
  const std::vector<uint8_t> fmt(f.begin() + 20, f.begin() + 40);
  const std::vector<uint8_t> expected = audiotest::GsmFmt();
  EXPECT_EQ(fmt, expected);
  EXPECT_EQ(std::string(f.begin() + 40, f.begin() + 44), "fact");
  EXPECT_EQ(Le32(f, 44), 4u);
  EXPECT_EQ(Le32(f, 48), 100u);
  EXPECT_EQ(std::string(f.begin() + 52, f.begin() + 56), "data");
  EXPECT_EQ(Le32(f, 56), 0u);
}

TEST_F(WaveHeaderTest, SizesFollowEveryBlock) {
  const std::vector<uint8_t> block = audiotest::AsBytes(audiotest::SpeechLike(320));
  const std::string pcm = dir_.File("p.wav");
  const std::string gsm = dir_.File("g.wav");
  WaveFileStream p, g;
  p.SetFormat(kFormatPcm8k16);
  g.SetFormat(kFormatGsm610);
  ASSERT_TRUE(p.Open(audiotest::HostPath(pcm), kStreamWrite));
  ASSERT_TRUE(g.Open(audiotest::HostPath(gsm), kStreamWrite));

  ASSERT_TRUE(p.Write(block.data(), 320));
  ASSERT_TRUE(g.Write(block.data(), 0));  // GSM ignores the frame count
  auto f = audiotest::ReadBytes(pcm);
  EXPECT_EQ(f.size(), 684u);
  EXPECT_EQ(Le32(f, 4), 676u);
  EXPECT_EQ(Le32(f, 40), 640u);
  f = audiotest::ReadBytes(gsm);
  EXPECT_EQ(f.size(), 125u);
  EXPECT_EQ(Le32(f, 4), 117u);
  EXPECT_EQ(Le32(f, 56), 65u);

  for (uint32_t frames : {320u, 17u, 1u, 0u, 320u}) {
    ASSERT_TRUE(p.Write(block.data(), frames));
    ASSERT_TRUE(g.Write(block.data(), frames));
    ExpectConsistent(audiotest::ReadBytes(pcm), false);
    ExpectConsistent(audiotest::ReadBytes(gsm), true);
  }
  EXPECT_EQ(p.GetLengthFrames(), 320u * 3 + 17 + 1);
  EXPECT_EQ(g.GetDataBytes(), 65u * 6);
}

TEST_F(WaveHeaderTest, RejectsWhatIsNotAWavThisProgramPlays) {
  const std::vector<uint8_t> data(64, 0);
  EXPECT_FALSE(Opens({}));
  EXPECT_FALSE(Opens({'R', 'I', 'F', 'F', 4, 0, 0, 0}));
  auto notRiff = RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16)).Chunk("data", data).Build();
  notRiff[0] = 'X';
  EXPECT_FALSE(Opens(notRiff));
  auto notWave = RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16)).Chunk("data", data).Build();
  notWave[8] = 'A';
  EXPECT_FALSE(Opens(notWave));
  // fmt must be the first chunk.
  EXPECT_FALSE(Opens(RiffBuilder()
                         .Chunk("LIST", {1, 2, 3, 4})
                         .Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16))
                         .Chunk("data", data)
                         .Build()));
  // fmt shorter than 16 bytes.
  auto shortFmt = audiotest::PcmFmt(1, 8000, 16);
  shortFmt.resize(14);
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", shortFmt).Chunk("data", data).Build()));
  // Tags other than PCM and GSM 6.10 (3 is IEEE float).
  auto floatFmt = audiotest::PcmFmt(1, 8000, 32);
  floatFmt[0] = 3;
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", floatFmt).Chunk("data", data).Build()));
  // No data chunk before the end of the file.
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16)).Chunk("LIST", data).Build()));
  // A chunk claiming far more than the file holds, and no data after it.
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16)).RawChunk("junk", 0xFFFFFFF0u, data).Build()));
}

TEST_F(WaveHeaderTest, GsmFmtNeedsItsExtraSize) {
  const std::vector<uint8_t> pairs(130, 0);
  auto gsmFile = [&](const std::vector<uint8_t>& fmt) {
    return RiffBuilder().Chunk("fmt ", fmt).Chunk("fact", {100, 0, 0, 0}).Chunk("data", pairs).Build();
  };
  EXPECT_FALSE(Opens(gsmFile(audiotest::GsmFmt(-1)))) << "16-byte fmt without extra size";
  EXPECT_FALSE(Opens(gsmFile(audiotest::GsmFmt(1)))) << "extra size below 2";
  EXPECT_FALSE(Opens(gsmFile(audiotest::GsmFmt(4, 320, 0)))) << "extra size beyond the chunk";
  EXPECT_TRUE(Opens(gsmFile(audiotest::GsmFmt(2))));
  // A larger extra size is accepted and its surplus skipped.
  audiotest::TestStream s;
  ASSERT_TRUE(s.Open(audiotest::HostPath(Put(gsmFile(audiotest::GsmFmt(6, 320, 4)))), kStreamRead));
  EXPECT_EQ(s.GetGsmFormat().Format.ExtraSize, 6);
  EXPECT_EQ(s.GetGsmFormat().SamplesPerBlock, 320);
  EXPECT_EQ(s.GetDataBytes(), 130u);
  EXPECT_EQ(s.BlockAlign, 65u);
  EXPECT_EQ(s.GetLengthSeconds(), 0u);  // 130 / 1625
}

TEST_F(WaveHeaderTest, PcmBlockAlignMustFitADeviceBlock) {
  const std::vector<uint8_t> data(1280, 0);
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16, 0xFFFF)).Chunk("data", data).Build()));
  auto zero = audiotest::PcmFmt(1, 8000, 16);
  zero[12] = zero[13] = 0;
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", zero).Chunk("data", data).Build()));
  EXPECT_FALSE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16, 641)).Chunk("data", data).Build()));
  EXPECT_TRUE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16, 640)).Chunk("data", data).Build()));
  // Any other PCM passes: stereo, odd rates, 24-bit.
  EXPECT_TRUE(Opens(RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(2, 12345, 24)).Chunk("data", data).Build()));
}

TEST_F(WaveHeaderTest, ChunksBeforeDataAreSkippedWithTheirPadByte) {
  std::vector<uint8_t> samples(100);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i + 1);
  // An 18-byte fmt (extra size 0, as some writers make it), an odd-sized
  // chunk with its pad byte, a fact chunk, then data.
  auto fmt = audiotest::PcmFmt(1, 8000, 8);
  fmt.insert(fmt.end(), {0, 0});
  const auto file = RiffBuilder()
                        .Chunk("fmt ", fmt)
                        .Chunk("LIST", {'I', 'N', 'F', 'O', 'x'})
                        .Chunk("fact", {100, 0, 0, 0})
                        .Chunk("data", samples)
                        .Build();
  audiotest::TestStream s;
  ASSERT_TRUE(s.Open(audiotest::HostPath(Put(file)), kStreamRead));
  const size_t dataStart = file.size() - samples.size();
  EXPECT_EQ(s.DataSizePos, dataStart - 4);
  EXPECT_EQ(s.EndPos, file.size());
  EXPECT_EQ(s.GetLengthFrames(), 100u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(s.GetFormat()->ExtraSize, 0);
  EXPECT_EQ(audiotest::ReadAll(s, kReadForward), samples);
}

TEST_F(WaveHeaderTest, DataChunkLongerThanTheFileEndsWithTheFile) {
  std::vector<uint8_t> samples(1001, 7);
  const auto file = RiffBuilder()
                        .Chunk("fmt ", audiotest::PcmFmt(1, 8000, 16))
                        .RawChunk("data", 0x7FFFFFFF, samples)
                        .Build();
  audiotest::TestStream s;
  ASSERT_TRUE(s.Open(audiotest::HostPath(Put(file)), kStreamRead));
  EXPECT_EQ(s.GetLengthFrames(), 500u) << "whole frames of what the file holds";
  EXPECT_EQ(s.EndPos, file.size());
  EXPECT_EQ(audiotest::ReadAll(s, kReadForward).size(), 1000u);

  // A GSM recording that crashed after two and a half pairs plays two.
  std::vector<uint8_t> pairs(162, 0);
  const auto gsm = RiffBuilder().Chunk("fmt ", audiotest::GsmFmt()).RawChunk("data", 65000, pairs).Build();
  audiotest::TestStream g;
  ASSERT_TRUE(g.Open(audiotest::HostPath(Put(gsm, "g.wav")), kStreamRead));
  EXPECT_EQ(g.GetDataBytes(), 162u);
  size_t blocks = 0;
  audiotest::ReadAll(g, kReadForward, &blocks);
  EXPECT_EQ(blocks, 2u);
}

}  // namespace
}  // namespace audio
