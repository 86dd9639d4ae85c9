// Our WAV files against libsndfile, an independent reader and writer of PCM
// and GSM 6.10 WAV files: the same files must give the same samples.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/format_presets.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using audiotest::HostPath;

struct SndData {
  SF_INFO info{};
  std::vector<short> samples;  // interleaved
};

SndData ReadWithSndfile(const std::string& path) {
  SndData d;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &d.info);
  if (f == nullptr) {
    ADD_FAILURE() << sf_strerror(nullptr);
    return d;
  }
  d.samples.resize(static_cast<size_t>(d.info.frames * d.info.channels));
  EXPECT_EQ(sf_readf_short(f, d.samples.data(), d.info.frames), d.info.frames);
  sf_close(f);
  return d;
}

void WriteWithSndfile(const std::string& path, int format, int channels, int rate, const std::vector<short>& samples,
                      bool extraChunks) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = rate;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  if (extraChunks) {
    // Set before the first sample, these go into LIST and bext chunks ahead of "data".
    sf_set_string(f, SF_STR_TITLE, "Interview, take 3");
    sf_set_string(f, SF_STR_ARTIST, "Q");
    SF_BROADCAST_INFO bext{};
    std::strcpy(bext.description, "odd");
    sf_command(f, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
  }
  sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
  sf_close(f);
}

// What our Read delivers, as 16-bit samples the way libsndfile reports them.
std::vector<short> ReadWithStream(const std::string& path, WaveFormatEx* format = nullptr) {
  WaveFileStream s;
  EXPECT_TRUE(s.Open(HostPath(path), kStreamRead));
  if (format != nullptr) *format = *s.GetFormat();
  const std::vector<uint8_t> bytes = audiotest::ReadAll(s, kReadForward);
  std::vector<short> out;
  if (s.GetFormat()->BitsPerSample == 8) {
    for (uint8_t b : bytes) out.push_back(static_cast<short>((b - 128) << 8));
  } else {
    out.resize(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
  }
  return out;
}

size_t FindChunk(const std::vector<uint8_t>& f, const char* id) { return std::string(f.begin(), f.end()).find(id, 12); }

class InteropTest : public ::testing::Test {
 protected:
  audiotest::TempDir dir_;
};

TEST_F(InteropTest, OurRecordingsReadTheSameInLibsndfile) {
  const std::vector<uint8_t> speech = audiotest::AsBytes(audiotest::SpeechLike(8000 + 77));
  std::vector<uint8_t> eight(11025 + 3);
  for (size_t i = 0; i < eight.size(); ++i) eight[i] = static_cast<uint8_t>(128 + 100 * ((i / 20) % 2 ? 1 : -1));
  const struct {
    uint32_t FormatId;
    const std::vector<uint8_t>* Bytes;
    int SfFormat, Rate;
    sf_count_t Frames;
  } cases[] = {{kFormatPcm8k16, &speech, SF_FORMAT_PCM_16, 8000, 8077},
               {kFormatPcm11k8, &eight, SF_FORMAT_PCM_U8, 11025, 11028},
               {kFormatGsm610, &speech, SF_FORMAT_GSM610, 8000, 26 * 320}};  // whole pairs
  for (const auto& c : cases) {
    SCOPED_TRACE(c.FormatId);
    const std::string path = dir_.File("ours.wav");
    ASSERT_TRUE(audiotest::Record(path, c.FormatId, *c.Bytes));
    const SndData d = ReadWithSndfile(path);
    EXPECT_EQ(d.info.format, SF_FORMAT_WAV | c.SfFormat);
    EXPECT_EQ(d.info.samplerate, c.Rate);
    EXPECT_EQ(d.info.channels, 1);
    EXPECT_EQ(d.info.frames, c.Frames);
    EXPECT_EQ(d.samples, ReadWithStream(path));
    if (c.FormatId == kFormatPcm8k16) {
      EXPECT_EQ(audiotest::AsBytes(d.samples), speech);
    }
  }
}

TEST_F(InteropTest, LibsndfileFilesPlayThroughOurRead) {
  const std::vector<short> mono = audiotest::SpeechLike(5000), gsm = audiotest::SpeechLike(320 * 30 + 100);
  std::vector<short> stereo;
  for (size_t i = 0; i < 3001; ++i) {
    stereo.push_back(mono[i]);
    stereo.push_back(static_cast<short>(-mono[i] / 3));
  }
  // Extra chunks (LIST, bext) lie between fmt and data. GSM plays whole pairs:
  // 9700 samples make 31, the last one padded (libsndfile counts the data
  // chunk's pad byte as a 32nd block, so only its samples are the reference).
  const struct {
    const char* Name;
    int Format, Channels, Rate;
    const std::vector<short>* Samples;
    bool Extra;
    size_t Expected;
  } cases[] = {
      {"m16.wav", SF_FORMAT_PCM_16, 1, 8000, &mono, false, 5000},
      {"m16x.wav", SF_FORMAT_PCM_16, 1, 22050, &mono, true, 5000},
      {"m8x.wav", SF_FORMAT_PCM_U8, 1, 11025, &mono, true, 5000},
      {"s16x.wav", SF_FORMAT_PCM_16, 2, 44100, &stereo, true, 6002},
      {"g.wav", SF_FORMAT_GSM610, 1, 8000, &gsm, false, 31 * 320},
      {"gx.wav", SF_FORMAT_GSM610, 1, 8000, &gsm, true, 31 * 320},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir_.File(c.Name);
    WriteWithSndfile(path, SF_FORMAT_WAV | c.Format, c.Channels, c.Rate, *c.Samples, c.Extra);
    const auto bytes = audiotest::ReadBytes(path);
    if (c.Extra) {
      EXPECT_LT(FindChunk(bytes, "LIST"), FindChunk(bytes, "data"));
    }
    if (c.Format == SF_FORMAT_GSM610) {
      EXPECT_NE(FindChunk(bytes, "fact"), std::string::npos);
    }
    WaveFormatEx f{};
    const std::vector<short> ours = ReadWithStream(path, &f);
    EXPECT_EQ(f.SamplesPerSec, static_cast<uint32_t>(c.Rate));
    EXPECT_EQ(f.Channels, c.Channels);
    ASSERT_EQ(ours.size(), c.Expected);
    const std::vector<short> theirs = ReadWithSndfile(path).samples;
    ASSERT_GE(theirs.size(), ours.size());
    EXPECT_EQ(ours, std::vector<short>(theirs.begin(), theirs.begin() + static_cast<std::ptrdiff_t>(ours.size())));
  }
}

// The committed seed files (also the fuzzer's corpus) stay playable: every
// one opens and gives all of its data, whoever wrote it.
TEST_F(InteropTest, SeedFilesPlay) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILLON_TEST_DATA_DIR) + "/wav")) {
    SCOPED_TRACE(entry.path().string());
    WaveFileStream s;
    ASSERT_TRUE(s.Open(HostPath(entry.path().string()), kStreamRead));
    size_t blocks = 0;
    const size_t bytes = audiotest::ReadAll(s, kReadForward, &blocks).size();
    EXPECT_GT(blocks, 0u);
    EXPECT_EQ(bytes, s.IsGsm() ? s.GetDataBytes() / 65 * 640 : size_t{s.GetLengthFrames()} * s.GetBlockAlign());
    ++files;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace audio
