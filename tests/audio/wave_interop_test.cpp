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

using namespace audiotest;

std::vector<short> ReadWithSndfile(const std::string& path, SF_INFO& info) {
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<short> samples(f ? static_cast<size_t>(info.frames * info.channels) : 0);
  if (f != nullptr) sf_readf_short(f, samples.data(), info.frames);
  sf_close(f);
  return samples;
}

// What our Read delivers, as 16-bit samples the way libsndfile reports them.
std::vector<short> ReadWithStream(const std::string& path) {
  WaveFileStream s;
  EXPECT_TRUE(s.Open(HostPath(path), kStreamRead));
  const Bytes bytes = ReadAll(s, kReadForward);
  std::vector<short> out;
  if (s.GetFormat()->BitsPerSample == 8) {
    for (uint8_t b : bytes) out.push_back(static_cast<short>((b - 128) << 8));
    return out;
  }
  out.resize(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

TEST(Interop, OurRecordingsReadTheSameInLibsndfile) {
  TempDir dir;
  const Bytes speech = AsBytes(SpeechLike(8000 + 77));
  Bytes eight(11025 + 3);
  for (size_t i = 0; i < eight.size(); ++i) eight[i] = static_cast<uint8_t>(128 + 100 * ((i / 20) % 2 ? 1 : -1));
  const struct {
    uint32_t FormatId;
    const Bytes* Input;
    int SfFormat, Rate;
    sf_count_t Frames;
  } cases[] = {{kFormatPcm8k16, &speech, SF_FORMAT_PCM_16, 8000, 8077},
               {kFormatPcm11k8, &eight, SF_FORMAT_PCM_U8, 11025, 11028},
               {kFormatGsm610, &speech, SF_FORMAT_GSM610, 8000, 26 * 320}};  // whole pairs
  for (const auto& c : cases) {
    SCOPED_TRACE(c.FormatId);
    ASSERT_TRUE(Record(dir.File("ours.wav"), c.FormatId, *c.Input));
    SF_INFO info{};
    const std::vector<short> theirs = ReadWithSndfile(dir.File("ours.wav"), info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | c.SfFormat);
    EXPECT_EQ(info.samplerate, c.Rate);
    EXPECT_EQ(info.frames, c.Frames);
    EXPECT_EQ(theirs, ReadWithStream(dir.File("ours.wav")));
  }
}

// libsndfile puts LIST and bext chunks between fmt and data when strings and
// broadcast info are set before the first sample. GSM plays whole pairs:
// 9700 samples make 31, the last padded (libsndfile counts the data chunk's
// pad byte as a 32nd block, so only its first samples are the reference).
TEST(Interop, LibsndfileFilesWithExtraChunksPlayThroughOurRead) {
  TempDir dir;
  const std::vector<short> mono = SpeechLike(5000), gsm = SpeechLike(320 * 30 + 100);
  std::vector<short> stereo;
  for (size_t i = 0; i < 3001; ++i) stereo.insert(stereo.end(), {mono[i], static_cast<short>(-mono[i] / 3)});
  const struct {
    int Format, Channels, Rate;
    const std::vector<short>* Samples;
    size_t Expected;
  } cases[] = {{SF_FORMAT_PCM_U8, 1, 11025, &mono, 5000},
               {SF_FORMAT_PCM_16, 2, 44100, &stereo, 6002},
               {SF_FORMAT_GSM610, 1, 8000, &gsm, 31 * 320}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Format);
    const std::string path = dir.File("theirs.wav");
    SF_INFO info{};
    info.samplerate = c.Rate;
    info.channels = c.Channels;
    info.format = SF_FORMAT_WAV | c.Format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_set_string(f, SF_STR_TITLE, "Interview, take 3");
    SF_BROADCAST_INFO bext{};
    std::strcpy(bext.description, "odd");
    sf_command(f, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
    sf_writef_short(f, c.Samples->data(), static_cast<sf_count_t>(c.Samples->size() / c.Channels));
    sf_close(f);
    const Bytes file = ReadBytes(path);
    const std::string raw(file.begin(), file.end());
    EXPECT_LT(raw.find("LIST"), raw.find("data"));

    const std::vector<short> ours = ReadWithStream(path), theirs = ReadWithSndfile(path, info);
    ASSERT_EQ(ours.size(), c.Expected);
    ASSERT_GE(theirs.size(), ours.size());
    EXPECT_EQ(ours, std::vector<short>(theirs.begin(), theirs.begin() + static_cast<std::ptrdiff_t>(ours.size())));
  }
}

// The committed seed files (also the fuzzer's corpus) stay playable.
TEST(Interop, SeedFilesPlay) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILLON_TEST_DATA_DIR) + "/wav")) {
    SCOPED_TRACE(entry.path().string());
    WaveFileStream s;
    ASSERT_TRUE(s.Open(HostPath(entry.path().string()), kStreamRead));
    const size_t bytes = ReadAll(s, kReadForward).size();
    EXPECT_GT(bytes, 0u);
    EXPECT_EQ(bytes, s.IsGsm() ? s.GetDataBytes() / 65 * 640 : size_t{s.GetLengthFrames()} * s.GetBlockAlign());
    ++files;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
}  // namespace audio
