// Reading and seeking WaveFileStream recordings.

#include "audio/wave_file_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/format_presets.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;

class WaveStreamTest : public ::testing::Test {
 protected:
  void OpenRecording(TestStream& s, uint32_t formatId, const Bytes& bytes) {
    ASSERT_TRUE(Record(dir_.File("r.wav"), formatId, bytes));
    ASSERT_TRUE(s.Open(HostPath(dir_.File("r.wav")), kStreamRead));
  }
  TempDir dir_;
};

TEST_F(WaveStreamTest, PcmReadsForwardToAShortBlockAndBackInReverseBlockOrder) {
  const Bytes bytes = AsBytes(SpeechLike(1000));  // 2000 bytes
  TestStream s;
  OpenRecording(s, kFormatPcm8k16, bytes);
  EXPECT_TRUE(ReadBlocks(s, kReadBackward).empty()) << "at the start nothing lies behind";
  EXPECT_EQ(ReadBlocks(s, kReadForward), (Blocks{Range(bytes, 0, 640), Range(bytes, 640, 1280),
                                                 Range(bytes, 1280, 1920), Range(bytes, 1920, 2000)}));
  EXPECT_EQ(s.EdgeState, kEdgeEnd);
  EXPECT_EQ(ReadBlocks(s, kReadBackward),
            (Blocks{Range(bytes, 1360, 2000), Range(bytes, 720, 1360), Range(bytes, 80, 720), Range(bytes, 0, 80)}));
  EXPECT_EQ(s.EdgeState, kEdgeStart);

  Bytes data(3 * 500);  // 24-bit mono: 3 does not divide 640, and blocks hold whole frames
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  WriteBytes(dir_.File("24.wav"), Riff({{"fmt ", PcmFmt(1, 8000, 24)}, {"data", data}}));
  ASSERT_TRUE(s.Open(HostPath(dir_.File("24.wav")), kStreamRead));
  EXPECT_EQ(ReadBlocks(s, kReadForward),
            (Blocks{Range(data, 0, 639), Range(data, 639, 1278), Range(data, 1278, 1500)}));
  EXPECT_EQ(ReadBlocks(s, kReadBackward).back(), Range(data, 0, 222));
}

// Seeks after the last block was read: 100 % lands one block before the
// end, 0 % (and below) on the first frame, and both play again.
TEST_F(WaveStreamTest, SeeksLandOnFramesAndPairsAndPlayOnAfterTheEnd) {
  const Bytes bytes = AsBytes(SpeechLike(8000));
  TestStream p, g;
  OpenRecording(p, kFormatPcm8k16, bytes);
  ReadAll(p, kReadForward);
  ASSERT_TRUE(p.SeekPercent(100));
  EXPECT_EQ(p.EdgeState, kEdgeInside);
  EXPECT_EQ(ReadAll(p, kReadForward), Range(bytes, 15360, 16000));
  ASSERT_TRUE(p.SeekPercent(-20));
  EXPECT_EQ(p.EdgeState, kEdgeStart);
  ASSERT_TRUE(p.SeekPercent(50));  // MulDivRound(50, 8000, 100) - 1
  EXPECT_EQ(ReadBlocks(p, kReadForward).front(), Range(bytes, 7998, 7998 + 640));

  OpenRecording(g, kFormatGsm610, AsBytes(SpeechLike(320 * 10)));
  ReadAll(g, kReadForward);
  ASSERT_TRUE(g.SeekPercent(100));
  EXPECT_EQ(g.EdgeState, kEdgeInside);
  EXPECT_EQ(ReadBlocks(g, kReadForward).size(), 1u);
  ASSERT_TRUE(g.SeekPercent(0));
  EXPECT_EQ(g.EdgeState, kEdgeStart);
  ASSERT_TRUE(g.SeekPercent(50));
  EXPECT_EQ(ReadBlocks(g, kReadForward).size(), 6u);
}

}  // namespace
}  // namespace audio
