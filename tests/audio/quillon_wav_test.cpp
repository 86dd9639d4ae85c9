// The quillon-wav tool, run as a user runs it.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/format_presets.h"
#include "wave_test_files.h"

namespace audio {
namespace {

using audiotest::HostPath;

struct Result {
  int Exit = -1;
  std::string Out;
  std::string Err;
};

class QuillonWavTest : public ::testing::Test {
 protected:
  Result Run(const std::string& args) {
    const std::string out = dir_.File("stdout.txt");
    const std::string err = dir_.File("stderr.txt");
    const std::string command = std::string(QUILLON_WAV_EXE) + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    Result r;
    r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto o = audiotest::ReadBytes(out);
    const auto e = audiotest::ReadBytes(err);
    r.Out.assign(o.begin(), o.end());
    r.Err.assign(e.begin(), e.end());
    return r;
  }
  std::string File(const std::string& name) { return dir_.File(name); }
  audiotest::TempDir dir_;
};

void WriteSine(const std::string& path, int format, int channels, int rate, double hz, int frames) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = rate;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<short> s;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) s.push_back(static_cast<short>(std::lround(12000 * std::sin(2 * M_PI * hz * i / rate))));
  sf_writef_short(f, s.data(), frames);
  sf_close(f);
}

// Rising zero crossings per second of 16-bit samples.
double Frequency(const std::vector<uint8_t>& bytes, uint32_t rate) {
  int crossings = 0;
  int16_t previous = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto s = static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (previous < 0 && s >= 0) ++crossings;
    previous = s;
  }
  return crossings * double(rate) / (bytes.size() / 2.0);
}

std::vector<uint8_t> ReadStream(const std::string& path, WaveFileStream* s) {
  EXPECT_TRUE(s->Open(HostPath(path), kStreamRead));
  return audiotest::ReadAll(*s, kReadForward);
}

TEST_F(QuillonWavTest, InfoShowsWhatThePlayerSees) {
  ASSERT_TRUE(audiotest::Record(File("p.wav"), kFormatPcm8k16, std::vector<uint8_t>(24000, 0)));
  Result r = Run("info " + File("p.wav"));
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "File: " + File("p.wav") +
                       "\nFormat: PCM (WAV)\nSample rate: 8000 Hz\nBits per sample: 16\nChannels: 1\n"
                       "Frames: 12000\nLength: 2 s (00:00:02)\n");

  ASSERT_TRUE(audiotest::Record(File("g.wav"), kFormatGsm610, std::vector<uint8_t>(25 * 640, 0)));
  r = Run("info " + File("g.wav"));
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_NE(r.Out.find("Format: GSM (WAV)\nSample rate: 8000 Hz\nBits per sample: 16\nChannels: 1\nPairs: 25\n"
                       "Length: 1 s (00:00:01)\n"),
            std::string::npos)
      << r.Out;
}

TEST_F(QuillonWavTest, EncodeConvertsStereoCdAudioToGsm) {
  WriteSine(File("cd.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 440, 44100 * 2);
  const Result r = Run("encode --format 49 " + File("cd.wav") + " " + File("g.wav"));
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  WaveFileStream s;
  const std::vector<uint8_t> decoded = ReadStream(File("g.wav"), &s);
  ASSERT_TRUE(s.IsGsm());
  EXPECT_EQ(s.GetDataBytes() % 65, 0u);
  EXPECT_EQ(s.GetDataBytes() / 65, 50u) << "2 s at 8000 Hz is 50 pairs";
  EXPECT_EQ(s.GetLengthSeconds(), 2u);
  EXPECT_NEAR(Frequency(decoded, 8000), 440, 15);
  // The file header and sizes are those of a recording.
  const auto f = audiotest::ReadBytes(File("g.wav"));
  EXPECT_EQ(f.size(), 60u + 50 * 65);
  EXPECT_EQ(audiotest::Le32(f, 4), f.size() - 8);
}

TEST_F(QuillonWavTest, EncodeResamplesToThePresetRateAndWidth) {
  WriteSine(File("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 300, 22050);
  ASSERT_EQ(Run("encode --format 4096 " + File("in.wav") + " " + File("out.wav")).Exit, 0);
  WaveFileStream s;
  const std::vector<uint8_t> bytes = ReadStream(File("out.wav"), &s);
  EXPECT_EQ(s.GetFormat()->SamplesPerSec, 8000u);
  EXPECT_EQ(s.GetFormat()->BitsPerSample, 8);
  EXPECT_NEAR(static_cast<double>(s.GetLengthFrames()), 8000, 2);
  // 12000 / 32768 of full scale is about 47 around 128.
  int high = 0;
  for (uint8_t b : bytes) high = std::max(high, int(b));
  EXPECT_NEAR(high, 128 + 47, 3);
}

TEST_F(QuillonWavTest, EncodeLeavesMatchingSamplesAlone) {
  const std::vector<uint8_t> speech = audiotest::AsBytes(audiotest::SpeechLike(5000));
  ASSERT_TRUE(audiotest::Record(File("in.wav"), kFormatPcm8k16, speech));
  ASSERT_EQ(Run("encode --format=8192 " + File("in.wav") + " " + File("out.wav")).Exit, 0);
  EXPECT_EQ(audiotest::ReadBytes(File("out.wav")), audiotest::ReadBytes(File("in.wav")));
  // Only the width changes: 8-bit x becomes (x - 128) << 8.
  std::vector<uint8_t> eight = {0, 1, 127, 128, 129, 255};
  ASSERT_TRUE(audiotest::Record(File("in8.wav"), kFormatPcm11k8, eight));
  ASSERT_EQ(Run("encode --format 4 " + File("in8.wav") + " " + File("out16.wav")).Exit, 0);
  WaveFileStream s;
  EXPECT_EQ(ReadStream(File("out16.wav"), &s), audiotest::AsBytes({-32768, -32512, -256, 0, 256, 32512}));
}

TEST_F(QuillonWavTest, DecodeGivesTheDeviceBytesEitherWay) {
  const std::vector<uint8_t> speech = audiotest::AsBytes(audiotest::SpeechLike(1000));
  ASSERT_TRUE(audiotest::Record(File("p.wav"), kFormatPcm8k16, speech));
  ASSERT_EQ(Run("decode " + File("p.wav") + " " + File("f.raw")).Exit, 0);
  EXPECT_EQ(audiotest::ReadBytes(File("f.raw")), speech);
  ASSERT_EQ(Run("decode --backward " + File("p.wav") + " " + File("b.raw")).Exit, 0);
  // 2000 bytes backward: [1360, 2000), [720, 1360), [80, 720), [0, 80).
  std::vector<uint8_t> expected;
  for (auto [from, to] : {std::pair{1360, 2000}, {720, 1360}, {80, 720}, {0, 80}})
    expected.insert(expected.end(), speech.begin() + from, speech.begin() + to);
  EXPECT_EQ(audiotest::ReadBytes(File("b.raw")), expected);

  ASSERT_TRUE(audiotest::Record(File("g.wav"), kFormatGsm610, speech));
  ASSERT_EQ(Run("decode " + File("g.wav") + " " + File("g.raw")).Exit, 0);
  WaveFileStream s;
  EXPECT_EQ(audiotest::ReadBytes(File("g.raw")), ReadStream(File("g.wav"), &s));
  ASSERT_EQ(Run("decode --backward " + File("g.wav") + " " + File("gb.raw")).Exit, 0);
  EXPECT_EQ(audiotest::ReadBytes(File("gb.raw")).size(), 4u * 640);
}

TEST_F(QuillonWavTest, OneLineErrorsAndNonZeroExits) {
  Result r = Run("info " + File("missing.wav"));
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("missing.wav") + ": No such file or directory\n");

  audiotest::WriteBytes(File("text.wav"), {'h', 'e', 'l', 'l', 'o'});
  r = Run("decode " + File("text.wav") + " " + File("o.raw"));
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("text.wav") + ": Wrong file format.\n");

  ASSERT_TRUE(audiotest::Record(File("p.wav"), kFormatPcm8k16, std::vector<uint8_t>(640, 0)));
  r = Run("encode --format 49 " + File("p.wav") + " " + File("no/dir/out.wav"));
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("no/dir/out.wav") + ": No such file or directory\n");

  EXPECT_EQ(Run("encode --format 2 " + File("p.wav") + " " + File("o.wav")).Exit, 2);
  EXPECT_EQ(Run("encode " + File("p.wav") + " " + File("o.wav")).Exit, 2);
  EXPECT_EQ(Run("frobnicate").Exit, 2);
  r = Run("");
  EXPECT_EQ(r.Exit, 2);
  EXPECT_NE(r.Err.find("quillon-wav decode [--backward] IN.wav OUT.raw"), std::string::npos);
}

}  // namespace
}  // namespace audio
