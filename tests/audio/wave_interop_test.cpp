// Our WAV files against libsndfile, an independent reader and writer of PCM
// and GSM 6.10 WAV files: the same files must give the same samples.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "audio/format_presets.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using namespace audiotest;

// Both decodings as 16-bit little-endian bytes.
Bytes ReadWithSndfile(const std::string& path, SF_INFO& info) {
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<int16_t> samples(f ? static_cast<size_t>(info.frames * info.channels) : 0);
  if (f != nullptr) sf_readf_short(f, samples.data(), info.frames);
  sf_close(f);
  return AsBytes(samples);
}

Bytes ReadWithStream(const std::string& path) {
  WaveFileStream s;
  EXPECT_TRUE(s.Open(HostPath(path), kStreamRead));
  return ReadAll(s, kReadForward);
}

TEST(Interop, OurRecordingsReadTheSameInLibsndfile) {
  TempDir dir;
  for (auto [formatId, sfFormat, frames] : {std::tuple{kFormatPcm8k16, SF_FORMAT_PCM_16, 8077},
                                            {kFormatGsm610, SF_FORMAT_GSM610, 26 * 320}}) {  // whole pairs
    SCOPED_TRACE(formatId);
    ASSERT_TRUE(Record(dir.File("ours.wav"), formatId, AsBytes(SpeechLike(8077))));
    SF_INFO info{};
    EXPECT_EQ(ReadWithSndfile(dir.File("ours.wav"), info), ReadWithStream(dir.File("ours.wav")));
    EXPECT_EQ(info.format, SF_FORMAT_WAV | sfFormat);
    EXPECT_EQ(info.frames, frames);
  }
}

// Strings and broadcast info put LIST and bext chunks before data. 9700 GSM
// samples play as 31 whole pairs; libsndfile counts the pad byte as a 32nd.
TEST(Interop, LibsndfileFilesWithExtraChunksPlayThroughOurRead) {
  TempDir dir;
  const std::vector<int16_t> stereo = SpeechLike(6002), gsm = SpeechLike(320 * 30 + 100);
  for (auto [format, channels, rate, samples, bytes] :
       {std::tuple{SF_FORMAT_PCM_16, 2, 44100, &stereo, 6002 * 2}, {SF_FORMAT_GSM610, 1, 8000, &gsm, 31 * 640}}) {
    SCOPED_TRACE(format);
    const std::string path = dir.File("theirs.wav");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_set_string(f, SF_STR_TITLE, "Interview, take 3");
    SF_BROADCAST_INFO bext{};
    std::strcpy(bext.description, "odd");
    sf_command(f, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
    sf_writef_short(f, samples->data(), static_cast<sf_count_t>(samples->size() / channels));
    sf_close(f);
    const Bytes file = ReadBytes(path);
    const std::string raw(file.begin(), file.end());
    EXPECT_LT(raw.find("LIST"), raw.find("data"));

    const Bytes ours = ReadWithStream(path), theirs = ReadWithSndfile(path, info);
    ASSERT_EQ(ours.size(), static_cast<size_t>(bytes));
    ASSERT_GE(theirs.size(), ours.size());
    EXPECT_EQ(ours, Range(theirs, 0, ours.size()));
  }
}

}  // namespace
}  // namespace audio
