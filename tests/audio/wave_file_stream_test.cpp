// Reading, seeking and the reported lengths of WaveFileStream.

#include "audio/wave_file_stream.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "audio/format_presets.h"
#include "diag/tracker.h"
#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;
using Blocks = std::vector<std::vector<uint8_t>>;

class WaveStreamTest : public ::testing::Test {
 protected:
  // Opens a recording of `bytes` made as the recorder makes it.
  void OpenRecording(TestStream& s, uint32_t formatId, const std::vector<uint8_t>& bytes,
                     const std::string& name = "r.wav") {
    ASSERT_TRUE(Record(dir_.File(name), formatId, bytes));
    ASSERT_TRUE(s.Open(HostPath(dir_.File(name)), kStreamRead));
  }
  // The next forward block, or empty.
  static std::vector<uint8_t> Next(WaveFileStream& s) {
    uint32_t size = 640;
    uint8_t* block = s.Read(&size, kReadForward);
    if (block == nullptr) return {};
    std::vector<uint8_t> out(block, block + size);
    diag::TrackedDelete(block);
    return out;
  }
  static std::vector<uint8_t> Range(const std::vector<uint8_t>& b, size_t from, size_t to) {
    return std::vector<uint8_t>(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(to));
  }
  TempDir dir_;
};

std::vector<uint8_t> Speech(size_t blocks) { return AsBytes(SpeechLike(blocks * 320)); }

TEST_F(WaveStreamTest, PcmReadsForwardToAShortBlockAndBackInReverseBlockOrder) {
  const auto bytes = AsBytes(SpeechLike(1000));  // 2000 bytes
  TestStream s;
  OpenRecording(s, kFormatPcm8k16, bytes);
  uint32_t size = 640;
  EXPECT_EQ(s.Read(&size, kReadBackward), nullptr) << "at the start nothing lies behind";
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  Blocks forward, back;
  EXPECT_EQ(ReadAll(s, kReadForward, nullptr, &forward), bytes);
  EXPECT_EQ(forward, (Blocks{Range(bytes, 0, 640), Range(bytes, 640, 1280), Range(bytes, 1280, 1920),
                             Range(bytes, 1920, 2000)}));
  EXPECT_EQ(s.EdgeState, kEdgeEnd);
  EXPECT_EQ(s.GetPositionFrames(), 1000u);
  EXPECT_EQ(s.Read(&size, kReadForwardScan), nullptr);

  // From the end: 640 bytes back from 2000, then 640, 640, and the first 80.
  ReadAll(s, kReadBackward, nullptr, &back);
  EXPECT_EQ(back,
            (Blocks{Range(bytes, 1360, 2000), Range(bytes, 720, 1360), Range(bytes, 80, 720), Range(bytes, 0, 80)}));
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(s.GetPositionFrames(), 0u);
  EXPECT_EQ(Next(s), Range(bytes, 0, 640)) << "forward again from the start";
}

// libgsm in WAV49 mode decoding the file's pairs in the given order.
Blocks DecodePairs(const std::vector<uint8_t>& file, const std::vector<size_t>& order) {
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  Blocks blocks;
  for (size_t k : order) {
    std::vector<uint8_t> pair(file.begin() + 60 + 65 * k, file.begin() + 60 + 65 * (k + 1));
    std::vector<int16_t> s(320);
    gsm_decode(codec, pair.data(), s.data());
    gsm_decode(codec, pair.data() + 33, s.data() + 160);
    blocks.push_back(AsBytes(s));
  }
  gsm_destroy(codec);
  return blocks;
}

TEST_F(WaveStreamTest, GsmReadsBothWaysPairByPairAndOnlyWholeBlocks) {
  TestStream s;
  OpenRecording(s, kFormatGsm610, Speech(6));
  EXPECT_EQ(s.GetDataBytes(), 6u * 65);
  uint32_t size = 320;
  EXPECT_EQ(s.Read(&size, kReadForward), nullptr) << "a pair needs a whole device block";
  size = 640;
  EXPECT_EQ(s.Read(&size, 3), nullptr) << "no such direction";
  EXPECT_EQ(s.GetPairsRead(), 0u);
  Blocks blocks;
  ReadAll(s, kReadForward, nullptr, &blocks);
  EXPECT_EQ(s.EdgeState, kEdgeEnd);
  EXPECT_EQ(s.GetPairsRead(), 6u);
  ReadAll(s, kReadBackward, nullptr, &blocks);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(s.GetPairsRead(), 0u);
  // Pairs 0..5, then 5..0, each decoded into its samples in forward order.
  EXPECT_EQ(blocks, DecodePairs(ReadBytes(dir_.File("r.wav")), {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0}));
}

TEST_F(WaveStreamTest, PcmBlocksHoldWholeFramesOnly) {
  std::vector<uint8_t> data(3 * 500);  // 24-bit mono: 3 does not divide 640
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  WriteBytes(dir_.File("24.wav"), RiffBuilder().Chunk("fmt ", PcmFmt(1, 8000, 24)).Chunk("data", data).Build());
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(dir_.File("24.wav")), kStreamRead));
  Blocks blocks, back;
  ReadAll(s, kReadForward, nullptr, &blocks);
  EXPECT_EQ(blocks, (Blocks{Range(data, 0, 639), Range(data, 639, 1278), Range(data, 1278, 1500)}));
  ReadAll(s, kReadBackward, nullptr, &back);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[2], Range(data, 0, 222));
}

// A seek after the last block was read plays again.
TEST_F(WaveStreamTest, PcmSeekLandsOnFrames) {
  const auto bytes = Speech(25);
  TestStream s;
  OpenRecording(s, kFormatPcm8k16, bytes);
  ReadAll(s, kReadForward);
  ASSERT_EQ(s.EdgeState, kEdgeEnd);
  // 100 %: one block (of the last read's size) before the end.
  ASSERT_TRUE(s.SeekPercent(100));
  EXPECT_EQ(s.GetPositionFrames(), 8000u - 320);
  EXPECT_EQ(s.EdgeState, kEdgeInside);
  EXPECT_EQ(ReadAll(s, kReadForward), Range(bytes, 15360, 16000));
  // 0 % (and below): the first frame, and a read starts there.
  ASSERT_TRUE(s.SeekPercent(-20));
  EXPECT_EQ(s.GetPositionFrames(), 0u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(Next(s), Range(bytes, 0, 640));
  // 50 %: MulDivRound(50, 8000, 100) - 1.
  ASSERT_TRUE(s.SeekPercent(50));
  EXPECT_EQ(s.GetPositionFrames(), 3999u);
  EXPECT_EQ(Next(s), Range(bytes, 7998, 7998 + 640));
  EXPECT_EQ(s.GetPositionSeconds(), 1u);  // 4319 / 8000 rounds to 1
  ASSERT_TRUE(s.SeekPercent(250));
  EXPECT_EQ(s.GetPositionFrames(), 8000u - 320);
}

TEST_F(WaveStreamTest, GsmSeekLandsOnPairs) {
  TestStream s;
  OpenRecording(s, kFormatGsm610, Speech(10));
  size_t blocks = 0;
  ReadAll(s, kReadForward);
  ASSERT_EQ(s.EdgeState, kEdgeEnd);
  ASSERT_TRUE(s.SeekPercent(100));
  EXPECT_EQ(s.GetPairsRead(), 9u) << "the last pair";
  EXPECT_EQ(s.EdgeState, kEdgeInside);
  ReadAll(s, kReadForward, &blocks);
  EXPECT_EQ(blocks, 1u);
  ASSERT_TRUE(s.SeekPercent(0));
  EXPECT_EQ(s.GetPairsRead(), 0u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  ASSERT_TRUE(s.SeekPercent(50));
  EXPECT_EQ(s.GetPairsRead(), 4u);
  ReadAll(s, kReadForward, &blocks);
  EXPECT_EQ(blocks, 6u);
}

TEST_F(WaveStreamTest, LengthsAndPositionsInSeconds) {
  TestStream g;  // 1625 data bytes of GSM are one second
  OpenRecording(g, kFormatGsm610, Speech(25), "g.wav");
  EXPECT_EQ(g.GetLengthSeconds(), 1u);
  EXPECT_EQ(g.GetRecordedSeconds(), 1u);
  ReadAll(g, kReadForward);
  EXPECT_EQ(g.GetPositionSeconds(), 1u);

  TestStream empty;
  OpenRecording(empty, kFormatPcm8k16, {}, "e.wav");
  EXPECT_EQ(empty.GetLengthSeconds(), 0u);
  EXPECT_TRUE(Next(empty).empty());
  EXPECT_EQ(empty.EdgeState, kEdgeEnd);

  TestStream p;  // 12000 frames at 8000 Hz: 1.5 s shows as 2
  OpenRecording(p, kFormatPcm8k8, std::vector<uint8_t>(12000, 128), "p.wav");
  EXPECT_EQ(p.GetLengthSeconds(), 2u);
  EXPECT_EQ(p.GetPositionSeconds(), 0u);
}

TEST_F(WaveStreamTest, ReadAndWriteOnlyInTheirMode) {
  const std::string path = dir_.File("w.wav");
  std::vector<uint8_t> block(640, 1);
  WaveFileStream s;
  EXPECT_FALSE(s.Write(block.data(), 320)) << "not opened";
  EXPECT_TRUE(Next(s).empty());
  s.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(s.Open(HostPath(path), kStreamWrite));
  ASSERT_TRUE(s.Write(block.data(), 320));
  EXPECT_TRUE(Next(s).empty()) << "a recording does not read";
  ASSERT_TRUE(s.Open(HostPath(path), kStreamRead));  // reopening closes first
  EXPECT_FALSE(s.Write(block.data(), 320)) << "playback does not write";
  EXPECT_EQ(s.GetLengthFrames(), 320u);
  EXPECT_TRUE(s.Close());
  EXPECT_TRUE(Next(s).empty());
  EXPECT_EQ(ReadBytes(path).size(), 684u);
}

TEST_F(WaveStreamTest, OpenFailuresCarryTheSystemErrorAndDevicePathsWork) {
  WaveFileStream s;
  EXPECT_FALSE(s.Open(HostPath(dir_.File("missing.wav")), kStreamRead));
  EXPECT_EQ(platform::GetLastError(), ENOENT);
  EXPECT_FALSE(s.Open(HostPath(dir_.File("no/such/folder.wav")), kStreamWrite));
  EXPECT_EQ(platform::GetLastError(), ENOENT);
  EXPECT_FALSE(s.Open(HostPath(dir_.File("x.wav")), 3));
  EXPECT_EQ(platform::GetLastError(), EINVAL);
  EXPECT_EQ(s.GetPath(), HostPath(dir_.File("x.wav")));

  platform::DevicePaths::SetDocumentsRoot(dir_.Path());
  s.SetFormat(kFormatPcm8k8);
  EXPECT_TRUE(s.Open(u"\\My Documents\\Rec.wav", kStreamWrite));
  EXPECT_TRUE(s.Close());
  platform::DevicePaths::ResetToDefaults();
  EXPECT_EQ(ReadBytes(dir_.File("Rec.wav")).size(), 44u);
}

TEST_F(WaveStreamTest, StreamsAndBlocksAreTracked) {
  const uint32_t before = diag::CurrentBytes();
  std::unique_ptr<TestStream> s(new TestStream);
  EXPECT_GE(diag::CurrentBytes(), before + sizeof(WaveFileStream));
  OpenRecording(*s, kFormatGsm610, Speech(1));
  const uint32_t withStream = diag::CurrentBytes();
  uint32_t size = 4096;
  uint8_t* block = s->Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 640u) << "one pair always fills one device block";
  EXPECT_EQ(diag::CurrentBytes(), withStream + 640);
  diag::TrackedDelete(block);
  s.reset();
  EXPECT_EQ(diag::CurrentBytes(), before);
}

}  // namespace
}  // namespace audio
