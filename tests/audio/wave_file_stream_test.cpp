// Reading, seeking and the reported lengths of WaveFileStream.

#include "audio/wave_file_stream.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/format_presets.h"
#include "diag/tracker.h"
#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using audiotest::HostPath;
using audiotest::TestStream;

class WaveStreamTest : public ::testing::Test {
 protected:
  // An 8000 Hz 16-bit recording of `samples` samples, as the recorder makes it.
  std::string Recording(uint32_t formatId, const std::vector<uint8_t>& bytes, const std::string& name = "r.wav") {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(audiotest::Record(path, formatId, bytes));
    return path;
  }
  audiotest::TempDir dir_;
};

// Block k carries a tone at amplitude (k + 1) x 2500 that swells within the block.
std::vector<uint8_t> NumberedBlocks(size_t blocks) {
  std::vector<int16_t> s(blocks * 320);
  for (size_t i = 0; i < s.size(); ++i) {
    const double within = 0.3 + 0.7 * double(i % 320) / 320.0;
    s[i] = static_cast<int16_t>(std::lround((double(i / 320) + 1) * 2500 * within * std::sin(i * 0.35)));
  }
  return audiotest::AsBytes(s);
}

TEST_F(WaveStreamTest, PcmReadsForwardToOneShortBlock) {
  const auto bytes = audiotest::AsBytes(audiotest::SpeechLike(1000));  // 2000 bytes
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Recording(kFormatPcm8k16, bytes)), kStreamRead));
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  std::vector<std::vector<uint8_t>> blocks;
  EXPECT_EQ(audiotest::ReadAll(s, kReadForward, nullptr, &blocks), bytes);
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[3].size(), 80u);
  EXPECT_EQ(s.EdgeState, kEdgeEnd);
  EXPECT_EQ(s.GetPositionFrames(), 1000u);
  EXPECT_EQ(s.LastReadBytes, 80u);
  uint32_t size = 640;
  EXPECT_EQ(s.Read(&size, kReadForwardScan), nullptr);
}

TEST_F(WaveStreamTest, PcmReadsBackwardInReverseBlockOrder) {
  const auto bytes = audiotest::AsBytes(audiotest::SpeechLike(1000));
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Recording(kFormatPcm8k16, bytes)), kStreamRead));
  uint32_t size = 640;
  EXPECT_EQ(s.Read(&size, kReadBackward), nullptr) << "at the start nothing lies behind";
  audiotest::ReadAll(s, kReadForward);

  std::vector<std::vector<uint8_t>> back;
  audiotest::ReadAll(s, kReadBackward, nullptr, &back);
  ASSERT_EQ(back.size(), 4u);
  // From the end: 640 bytes back from 2000, then 640, 640, and the first 80.
  EXPECT_EQ(back[0], std::vector<uint8_t>(bytes.begin() + 1360, bytes.end()));
  EXPECT_EQ(back[1], std::vector<uint8_t>(bytes.begin() + 720, bytes.begin() + 1360));
  EXPECT_EQ(back[3], std::vector<uint8_t>(bytes.begin(), bytes.begin() + 80));
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(s.GetPositionFrames(), 0u);
  // Forward again from the start.
  uint8_t* block = s.Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block, block + size), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 640));
  diag::TrackedDelete(block);
}

// libgsm in WAV49 mode decoding the file's pairs in the given order: what a
// stream must deliver when it reads the same pairs in that order.
std::vector<std::vector<uint8_t>> DecodePairs(const std::vector<uint8_t>& file, const std::vector<size_t>& order) {
  gsm codec = gsm_create();
  int one = 1;
  gsm_option(codec, GSM_OPT_WAV49, &one);
  std::vector<std::vector<uint8_t>> blocks;
  for (size_t k : order) {
    std::vector<uint8_t> pair(file.begin() + 60 + 65 * k, file.begin() + 60 + 65 * (k + 1));
    std::vector<int16_t> s(320);
    gsm_decode(codec, pair.data(), s.data());
    gsm_decode(codec, pair.data() + 33, s.data() + 160);
    blocks.push_back(audiotest::AsBytes(s));
  }
  gsm_destroy(codec);
  return blocks;
}

TEST_F(WaveStreamTest, GsmReadsBothWaysPairByPair) {
  const std::string path = Recording(kFormatGsm610, NumberedBlocks(6));
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(path), kStreamRead));
  EXPECT_EQ(s.GetDataBytes(), 6u * 65);
  std::vector<std::vector<uint8_t>> blocks;
  audiotest::ReadAll(s, kReadForward, nullptr, &blocks);
  EXPECT_EQ(s.EdgeState, kEdgeEnd);
  EXPECT_EQ(s.GetPairsRead(), 6u);
  audiotest::ReadAll(s, kReadBackward, nullptr, &blocks);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  EXPECT_EQ(s.GetPairsRead(), 0u);
  // Pairs 0..5, then 5..0, each decoded into its samples in forward order.
  EXPECT_EQ(blocks, DecodePairs(audiotest::ReadBytes(path), {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 1, 0}));
}

TEST_F(WaveStreamTest, GsmRefusesSmallRequestsAndOtherDirections) {
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Recording(kFormatGsm610, NumberedBlocks(2))), kStreamRead));
  uint32_t size = 320;
  EXPECT_EQ(s.Read(&size, kReadForward), nullptr);
  size = 640;
  EXPECT_EQ(s.Read(&size, 3), nullptr);
  EXPECT_EQ(s.GetPairsRead(), 0u);
  size = 4096;
  uint8_t* block = s.Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 640u) << "one pair always fills one device block";
  diag::TrackedDelete(block);
}

TEST_F(WaveStreamTest, PcmBlocksHoldWholeFramesOnly) {
  // 24-bit mono: 3 does not divide 640.
  std::vector<uint8_t> data(3 * 500);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  const auto file = audiotest::RiffBuilder().Chunk("fmt ", audiotest::PcmFmt(1, 8000, 24)).Chunk("data", data).Build();
  audiotest::WriteBytes(dir_.File("24.wav"), file);
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(dir_.File("24.wav")), kStreamRead));
  std::vector<std::vector<uint8_t>> blocks;
  EXPECT_EQ(audiotest::ReadAll(s, kReadForward, nullptr, &blocks), data);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].size(), 639u);
  EXPECT_EQ(blocks[1].size(), 639u);
  EXPECT_EQ(blocks[2].size(), 222u);
  std::vector<std::vector<uint8_t>> back;
  audiotest::ReadAll(s, kReadBackward, nullptr, &back);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[2], std::vector<uint8_t>(data.begin(), data.begin() + 222));
}

TEST_F(WaveStreamTest, SeekToStartAndEnd) {
  const auto bytes = audiotest::AsBytes(audiotest::SpeechLike(8000));  // 25 blocks
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Recording(kFormatPcm8k16, bytes)), kStreamRead));
  uint32_t size = 640;
  diag::TrackedDelete(s.Read(&size, kReadForward));
  // 100 %: one block (of the last read's size) before the end.
  ASSERT_TRUE(s.SeekPercent(100));
  EXPECT_EQ(s.GetPositionFrames(), 8000u - 320);
  EXPECT_EQ(s.EdgeState, kEdgeInside);
  EXPECT_EQ(audiotest::ReadAll(s, kReadForward), std::vector<uint8_t>(bytes.end() - 640, bytes.end()));
  // 0 %: the first frame, and a read starts there.
  ASSERT_TRUE(s.SeekPercent(-20));
  EXPECT_EQ(s.GetPositionFrames(), 0u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  uint8_t* block = s.Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 640), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 640));
  diag::TrackedDelete(block);
  // 50 %: MulDivRound(50, 8000, 100) - 1.
  ASSERT_TRUE(s.SeekPercent(50));
  EXPECT_EQ(s.GetPositionFrames(), 3999u);
  block = s.Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 640),
            std::vector<uint8_t>(bytes.begin() + 7998, bytes.begin() + 7998 + 640));
  diag::TrackedDelete(block);
  EXPECT_EQ(s.GetPositionSeconds(), 1u);  // 4319 / 8000 rounds to 1
  ASSERT_TRUE(s.SeekPercent(250));
  EXPECT_EQ(s.GetPositionFrames(), 8000u - 320);
}

TEST_F(WaveStreamTest, GsmSeekLandsOnPairs) {
  TestStream s;
  ASSERT_TRUE(s.Open(HostPath(Recording(kFormatGsm610, NumberedBlocks(10))), kStreamRead));
  ASSERT_TRUE(s.SeekPercent(100));
  EXPECT_EQ(s.GetPairsRead(), 9u) << "the last pair";
  size_t blocks = 0;
  audiotest::ReadAll(s, kReadForward, &blocks);
  EXPECT_EQ(blocks, 1u);
  ASSERT_TRUE(s.SeekPercent(0));
  EXPECT_EQ(s.GetPairsRead(), 0u);
  EXPECT_EQ(s.EdgeState, kEdgeStart);
  ASSERT_TRUE(s.SeekPercent(50));
  EXPECT_EQ(s.GetPairsRead(), 4u);
  audiotest::ReadAll(s, kReadForward, &blocks);
  EXPECT_EQ(blocks, 6u);
}

TEST_F(WaveStreamTest, SeekAfterTheEndPlaysAgain) {
  TestStream pcm, gsm;
  ASSERT_TRUE(pcm.Open(HostPath(Recording(kFormatPcm8k8, std::vector<uint8_t>(3000, 99), "p.wav")), kStreamRead));
  ASSERT_TRUE(gsm.Open(HostPath(Recording(kFormatGsm610, NumberedBlocks(4), "g.wav")), kStreamRead));
  for (TestStream* s : {&pcm, &gsm}) {
    audiotest::ReadAll(*s, kReadForward);
    ASSERT_EQ(s->EdgeState, kEdgeEnd);
    ASSERT_TRUE(s->SeekPercent(50));
    EXPECT_EQ(s->EdgeState, kEdgeInside);
    size_t blocks = 0;
    audiotest::ReadAll(*s, kReadForward, &blocks);
    EXPECT_GE(blocks, 1u);
  }
}

TEST_F(WaveStreamTest, LengthsAndPositionsInSeconds) {
  // 1625 data bytes of GSM are one second.
  TestStream g;
  ASSERT_TRUE(g.Open(HostPath(Recording(kFormatGsm610, NumberedBlocks(25), "g.wav")), kStreamRead));
  EXPECT_EQ(g.GetLengthSeconds(), 1u);
  EXPECT_EQ(g.GetRecordedSeconds(), 1u);
  audiotest::ReadAll(g, kReadForward);
  EXPECT_EQ(g.GetPositionSeconds(), 1u);

  TestStream empty;
  ASSERT_TRUE(empty.Open(HostPath(Recording(kFormatPcm8k16, {}, "e.wav")), kStreamRead));
  EXPECT_EQ(empty.GetLengthSeconds(), 0u);
  EXPECT_EQ(empty.GetPositionSeconds(), 0u);
  uint32_t size = 640;
  EXPECT_EQ(empty.Read(&size, kReadForward), nullptr);
  EXPECT_EQ(empty.EdgeState, kEdgeEnd);

  TestStream p;  // 12000 frames at 8000 Hz: 1.5 s shows as 2
  ASSERT_TRUE(p.Open(HostPath(Recording(kFormatPcm8k8, std::vector<uint8_t>(12000, 128), "p.wav")), kStreamRead));
  EXPECT_EQ(p.GetLengthSeconds(), 2u);
  EXPECT_EQ(p.GetPositionSeconds(), 0u);
}

TEST_F(WaveStreamTest, GsmDeviceFormatWhateverTheFileSays) {
  auto fmt = audiotest::GsmFmt();
  fmt[4] = 0x80;  // 16000 Hz claimed (0x3E80)
  fmt[5] = 0x3E;
  const auto file = audiotest::RiffBuilder().Chunk("fmt ", fmt).Chunk("data", std::vector<uint8_t>(65, 0)).Build();
  audiotest::WriteBytes(dir_.File("g.wav"), file);
  WaveFileStream s;
  ASSERT_TRUE(s.Open(HostPath(dir_.File("g.wav")), kStreamRead));
  const WaveFormatEx* f = s.GetFormat();
  EXPECT_EQ(f, GsmDeviceFormat());
  EXPECT_EQ(f->SamplesPerSec, 8000u);
  EXPECT_EQ(f->BitsPerSample, 16);
  EXPECT_EQ(f->Channels, 1);
  EXPECT_EQ(f->ExtraSize, 1);
  EXPECT_EQ(s.GetGsmFormat().Format.SamplesPerSec, 16000u);
}

TEST_F(WaveStreamTest, ReadAndWriteOnlyInTheirMode) {
  const std::string path = dir_.File("w.wav");
  std::vector<uint8_t> block(640, 1);
  WaveFileStream s;
  EXPECT_FALSE(s.Write(block.data(), 320)) << "not opened";
  uint32_t size = 640;
  EXPECT_EQ(s.Read(&size, kReadForward), nullptr);
  s.SetFormat(kFormatPcm8k16);
  ASSERT_TRUE(s.Open(HostPath(path), kStreamWrite));
  ASSERT_TRUE(s.Write(block.data(), 320));
  EXPECT_EQ(s.Read(&size, kReadForward), nullptr) << "a recording does not read";
  ASSERT_TRUE(s.Open(HostPath(path), kStreamRead));  // reopening closes first
  EXPECT_FALSE(s.Write(block.data(), 320)) << "playback does not write";
  EXPECT_EQ(s.GetLengthFrames(), 320u);
  EXPECT_TRUE(s.Close());
  EXPECT_EQ(s.Read(&size, kReadForward), nullptr);
  EXPECT_EQ(audiotest::ReadBytes(path).size(), 684u);
}

TEST_F(WaveStreamTest, OpenFailuresCarryTheSystemError) {
  WaveFileStream s;
  EXPECT_FALSE(s.Open(HostPath(dir_.File("missing.wav")), kStreamRead));
  EXPECT_EQ(platform::GetLastError(), ENOENT);
  EXPECT_FALSE(s.Open(HostPath(dir_.File("no/such/folder.wav")), kStreamWrite));
  EXPECT_EQ(platform::GetLastError(), ENOENT);
  EXPECT_FALSE(s.Open(HostPath(dir_.File("x.wav")), 3));
  EXPECT_EQ(platform::GetLastError(), EINVAL);
  EXPECT_EQ(s.GetPath(), HostPath(dir_.File("x.wav")));
}

TEST_F(WaveStreamTest, DevicePathsGoThroughThePlatformRoots) {
  platform::DevicePaths::SetDocumentsRoot(dir_.Path());
  {
    WaveFileStream s;
    s.SetFormat(kFormatPcm8k8);
    ASSERT_TRUE(s.Open(u"\\My Documents\\Rec.wav", kStreamWrite));
  }
  platform::DevicePaths::ResetToDefaults();
  EXPECT_EQ(audiotest::ReadBytes(dir_.File("Rec.wav")).size(), 44u);
}

TEST_F(WaveStreamTest, StreamsAndBlocksAreTracked) {
  const uint32_t before = diag::CurrentBytes();
  std::unique_ptr<WaveFileStream> s(new WaveFileStream);
  ASSERT_NE(s, nullptr);
  EXPECT_GE(diag::CurrentBytes(), before + sizeof(WaveFileStream));
  ASSERT_TRUE(s->Open(HostPath(Recording(kFormatGsm610, NumberedBlocks(1))), kStreamRead));
  const uint32_t withStream = diag::CurrentBytes();
  uint32_t size = 640;
  uint8_t* block = s->Read(&size, kReadForward);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(diag::CurrentBytes(), withStream + 640);
  diag::TrackedDelete(block);
  s.reset();
  EXPECT_EQ(diag::CurrentBytes(), before);
}

}  // namespace
}  // namespace audio
