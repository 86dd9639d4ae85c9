// Our WAV files against libsndfile, an independent reader and writer of PCM
// and GSM 6.10 WAV files: the same files must give the same samples.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
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
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  if (f == nullptr) return d;
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
    // Strings set before the first sample go into a LIST chunk ahead of "data";
    // broadcast info adds a bext chunk there as well.
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

// The position of a chunk identifier in a file, or npos.
size_t FindChunk(const std::vector<uint8_t>& f, const char* id) {
  for (size_t i = 12; i + 4 <= f.size(); ++i)
    if (std::memcmp(f.data() + i, id, 4) == 0) return i;
  return std::string::npos;
}

class InteropTest : public ::testing::Test {
 protected:
  audiotest::TempDir dir_;
};

TEST_F(InteropTest, OurPcmRecordingsReadTheSameInLibsndfile) {
  const std::vector<int16_t> speech = audiotest::SpeechLike(8000 + 77);
  const std::string p16 = dir_.File("p16.wav");
  ASSERT_TRUE(audiotest::Record(p16, kFormatPcm8k16, audiotest::AsBytes(speech)));
  const SndData d = ReadWithSndfile(p16);
  EXPECT_EQ(d.info.samplerate, 8000);
  EXPECT_EQ(d.info.channels, 1);
  EXPECT_EQ(d.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(d.samples, ReadWithStream(p16));
  EXPECT_EQ(d.samples, std::vector<short>(speech.begin(), speech.end()));

  std::vector<uint8_t> eight(11025 + 3);
  for (size_t i = 0; i < eight.size(); ++i) eight[i] = static_cast<uint8_t>(128 + 100 * ((i / 20) % 2 ? 1 : -1));
  const std::string p8 = dir_.File("p8.wav");
  ASSERT_TRUE(audiotest::Record(p8, kFormatPcm11k8, eight));
  const SndData d8 = ReadWithSndfile(p8);
  EXPECT_EQ(d8.info.samplerate, 11025);
  EXPECT_EQ(d8.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  EXPECT_EQ(d8.samples, ReadWithStream(p8));
}

TEST_F(InteropTest, OurGsmRecordingsDecodeTheSameInLibsndfile) {
  const std::string path = dir_.File("g.wav");
  ASSERT_TRUE(audiotest::Record(path, kFormatGsm610, audiotest::AsBytes(audiotest::SpeechLike(320 * 40))));
  const SndData d = ReadWithSndfile(path);
  EXPECT_EQ(d.info.format, SF_FORMAT_WAV | SF_FORMAT_GSM610);
  EXPECT_EQ(d.info.samplerate, 8000);
  EXPECT_EQ(d.info.frames, 320 * 40);
  EXPECT_EQ(d.samples, ReadWithStream(path));
}

TEST_F(InteropTest, LibsndfilePcmPlaysThroughOurRead) {
  const std::vector<int16_t> speech = audiotest::SpeechLike(5000);
  std::vector<short> mono(speech.begin(), speech.end());
  std::vector<short> stereo;
  for (size_t i = 0; i < 3001; ++i) {
    stereo.push_back(speech[i]);
    stereo.push_back(static_cast<short>(-speech[i] / 3));
  }
  struct Case {
    const char* name;
    int format;
    int channels;
    int rate;
    const std::vector<short>* samples;
    bool extra;
  } cases[] = {
      {"m16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, &mono, false},
      {"m16x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, &mono, true},
      {"m8x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 11025, &mono, true},
      {"s16x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, &stereo, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File(c.name);
    WriteWithSndfile(path, c.format, c.channels, c.rate, *c.samples, c.extra);
    const auto bytes = audiotest::ReadBytes(path);
    if (c.extra) {
      ASSERT_NE(FindChunk(bytes, "LIST"), std::string::npos);
      EXPECT_LT(FindChunk(bytes, "LIST"), FindChunk(bytes, "data")) << "extra chunks lie before the data";
    }
    WaveFormatEx f{};
    const std::vector<short> ours = ReadWithStream(path, &f);
    EXPECT_EQ(f.SamplesPerSec, static_cast<uint32_t>(c.rate));
    EXPECT_EQ(f.Channels, c.channels);
    EXPECT_EQ(ours, ReadWithSndfile(path).samples);
  }
}

TEST_F(InteropTest, LibsndfileGsmPlaysThroughOurRead) {
  const std::vector<int16_t> speech = audiotest::SpeechLike(320 * 30 + 100);
  const std::vector<short> samples(speech.begin(), speech.end());
  for (bool extra : {false, true}) {
    const std::string path = dir_.File(extra ? "gx.wav" : "g.wav");
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, samples, extra);
    const auto bytes = audiotest::ReadBytes(path);
    ASSERT_NE(FindChunk(bytes, "fact"), std::string::npos);
    WaveFileStream s;
    ASSERT_TRUE(s.Open(HostPath(path), kStreamRead));
    EXPECT_TRUE(s.IsGsm());
    const SndData d = ReadWithSndfile(path);
    std::vector<short> ours = ReadWithStream(path);
    // 9700 samples make 31 pairs, the last one padded; every pair plays whole.
    // (libsndfile counts the data chunk's pad byte as a 32nd block, so its
    // frame count is not the reference; its samples are.)
    ASSERT_EQ(ours.size(), 31u * 320);
    ASSERT_GE(d.samples.size(), ours.size());
    EXPECT_EQ(ours, std::vector<short>(d.samples.begin(), d.samples.begin() + static_cast<std::ptrdiff_t>(ours.size())));
    EXPECT_EQ(std::vector<short>(ours.begin(), ours.begin() + 9000), std::vector<short>(d.samples.begin(), d.samples.begin() + 9000));
  }
}

// The committed seed files (also the fuzzer's corpus) stay playable: every
// one opens and gives all of its data, whoever wrote it.
TEST_F(InteropTest, SeedFilesPlay) {
  const char* data = QUILLON_TEST_DATA_DIR;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(data) + "/wav")) {
    SCOPED_TRACE(entry.path().string());
    WaveFileStream s;
    ASSERT_TRUE(s.Open(HostPath(entry.path().string()), kStreamRead));
    size_t blocks = 0;
    const size_t bytes = audiotest::ReadAll(s, kReadForward, &blocks).size();
    EXPECT_GT(blocks, 0u);
    if (s.IsGsm()) {
      EXPECT_EQ(bytes, s.GetDataBytes() / 65 * 640);
    } else {
      EXPECT_EQ(bytes, size_t{s.GetLengthFrames()} * s.GetBlockAlign());
    }
    ++files;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace audio
