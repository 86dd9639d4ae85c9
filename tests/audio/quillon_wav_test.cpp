// The quillon-wav tool, run as a user runs it: play and record on the virtual
// device at real time (silent input), and on PortAudio with no sound card.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/format_presets.h"
#include "platform/text.h"
#include "platform/wave_types.h"
#include "wave_test_files.h"

namespace audiotest {
namespace {

using namespace audio;

struct Result {
  int Exit = -1;
  std::string Out, Err;
};

class QuillonWavTest : public ::testing::Test {
 protected:
  // `backend` is QUILLON_WAVE_BACKEND's value; empty means PortAudio, with
  // ALSA's configuration under the temporary folder.
  pid_t Spawn(const std::vector<std::string>& args, const std::string& backend = "virtual") {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(open(File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (backend.empty()) {
      unsetenv("QUILLON_WAVE_BACKEND");
      setenv("HOME", dir_.Path().c_str(), 1);
    } else {
      setenv("QUILLON_WAVE_BACKEND", backend.c_str(), 1);
    }
    setenv("XDG_CONFIG_HOME", File("config").c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(QUILLON_WAV_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUILLON_WAV_EXE, argv.data());
    _exit(127);
  }
  Result Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    const auto o = ReadBytes(File("stdout.txt")), e = ReadBytes(File("stderr.txt"));
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(o.begin(), o.end()),
                  std::string(e.begin(), e.end())};
  }
  Result Run(const std::vector<std::string>& args, const std::string& backend = "virtual") {
    return Wait(Spawn(args, backend));
  }
  // Polls until `ready` holds; the time-out is only a safety net.
  template <typename F>
  static bool WaitFor(F ready) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!ready()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::vector<uint8_t> DataOf(const std::string& name, WaveFileStream& s) {
    EXPECT_TRUE(s.Open(HostPath(File(name)), kStreamRead)) << name;
    return ReadAll(s, kReadForward);
  }

  TempDir dir_;
};

// A 16-bit sine at 12000 of full scale, the same on every channel.
void WriteSine(const std::string& path, uint16_t channels, uint32_t rate, double hz, int frames) {
  std::vector<int16_t> s;
  for (int i = 0; i < frames * channels; ++i)
    s.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * hz * (i / channels) / rate))));
  WriteBytes(path, RiffBuilder().Chunk("fmt ", PcmFmt(channels, rate, 16)).Chunk("data", AsBytes(s)).Build());
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

TEST_F(QuillonWavTest, InfoShowsWhatThePlayerSees) {
  ASSERT_TRUE(Record(File("p.wav"), kFormatPcm8k16, std::vector<uint8_t>(24000, 0)));
  Result r = Run({"info", File("p.wav")});
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "File: " + File("p.wav") +
                       "\nFormat: PCM (WAV)\nSample rate: 8000 Hz\nBits per sample: 16\nChannels: 1\n"
                       "Frames: 12000\nLength: 2 s (00:00:02)\n");
  ASSERT_TRUE(Record(File("g.wav"), kFormatGsm610, std::vector<uint8_t>(25 * 640, 0)));
  r = Run({"info", File("g.wav")});
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_NE(r.Out.find("Format: GSM (WAV)\nSample rate: 8000 Hz\nBits per sample: 16\nChannels: 1\nPairs: 25\n"
                       "Length: 1 s (00:00:01)\n"),
            std::string::npos)
      << r.Out;
}

TEST_F(QuillonWavTest, EncodeConvertsChannelsRateAndWidthOnlyWhenNeeded) {
  // Stereo CD audio to GSM: mono, 8000 Hz, in the sizes of a recording.
  WriteSine(File("cd.wav"), 2, 44100, 440, 44100 * 2);
  Result r = Run({"encode", "--format", "49", File("cd.wav"), File("g.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  WaveFileStream g;
  const std::vector<uint8_t> decoded = DataOf("g.wav", g);
  ASSERT_TRUE(g.IsGsm());
  EXPECT_EQ(g.GetDataBytes(), 50u * 65) << "2 s at 8000 Hz is 50 pairs";
  EXPECT_NEAR(Frequency(decoded, 8000), 440, 15);
  EXPECT_EQ(Le32(ReadBytes(File("g.wav")), 4), 52u + 50 * 65);

  // 22050 Hz 16-bit to 8000 Hz 8-bit: 12000 / 32768 of full scale is about 47 around 128.
  WriteSine(File("in.wav"), 1, 22050, 300, 22050);
  ASSERT_EQ(Run({"encode", "--format", "4096", File("in.wav"), File("out.wav")}).Exit, 0);
  WaveFileStream s;
  const std::vector<uint8_t> bytes = DataOf("out.wav", s);
  EXPECT_EQ(s.GetFormat()->SamplesPerSec, 8000u);
  EXPECT_EQ(s.GetFormat()->BitsPerSample, 8);
  EXPECT_NEAR(static_cast<double>(s.GetLengthFrames()), 8000, 2);
  ASSERT_FALSE(bytes.empty());
  EXPECT_NEAR(*std::max_element(bytes.begin(), bytes.end()), 128 + 47, 3);

  // The same format is copied sample for sample; a width change alone is exact.
  ASSERT_TRUE(Record(File("s.wav"), kFormatPcm8k16, AsBytes(SpeechLike(5000))));
  ASSERT_EQ(Run({"encode", "--format=8192", File("s.wav"), File("same.wav")}).Exit, 0);
  EXPECT_EQ(ReadBytes(File("same.wav")), ReadBytes(File("s.wav")));
  ASSERT_TRUE(Record(File("in8.wav"), kFormatPcm11k8, {0, 1, 127, 128, 129, 255}));
  ASSERT_EQ(Run({"encode", "--format", "4", File("in8.wav"), File("out16.wav")}).Exit, 0);
  WaveFileStream w;
  EXPECT_EQ(DataOf("out16.wav", w), AsBytes({-32768, -32512, -256, 0, 256, 32512}));
}

TEST_F(QuillonWavTest, DecodeGivesTheDeviceBytesEitherWay) {
  const std::vector<uint8_t> speech = AsBytes(SpeechLike(1000));
  for (uint32_t formatId : {kFormatPcm8k16, kFormatGsm610}) {
    ASSERT_TRUE(Record(File("in.wav"), formatId, speech));
    WaveFileStream s;
    const std::vector<uint8_t> forward = DataOf("in.wav", s), backward = ReadAll(s, kReadBackward);
    ASSERT_EQ(Run({"decode", File("in.wav"), File("f.raw")}).Exit, 0);
    ASSERT_EQ(Run({"decode", "--backward", File("in.wav"), File("b.raw")}).Exit, 0);
    EXPECT_EQ(ReadBytes(File("f.raw")), forward) << formatId;
    EXPECT_EQ(ReadBytes(File("b.raw")), backward) << formatId;
    EXPECT_EQ(backward.size(), formatId == kFormatGsm610 ? 4u * 640 : 2000u);
  }
}

// The virtual input is silence: it never reaches a threshold of 1 % and
// always reaches 0 %.
TEST_F(QuillonWavTest, RecordWritesTheGivenSecondsOfInputOrOnlyItsVoice) {
  Result r = Run({"record", "--format", "8192", "--seconds", "1", File("pcm.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, File("pcm.wav") + ": 00:00:01 recorded\n");
  ASSERT_EQ(Run({"record", "--seconds", "1", "--format", "49", File("gsm.wav")}).Exit, 0);
  ASSERT_EQ(Run({"record", "--format", "4096", "--seconds", "1", "--vas", "1", File("quiet.wav")}).Exit, 0);
  ASSERT_EQ(Run({"record", "--format", "4096", "--seconds", "1", "--vas", "0", "--amplify", File("all.wav")}).Exit, 0);

  WaveFileStream pcm, gsm, quiet, all;
  const std::vector<uint8_t> data = DataOf("pcm.wav", pcm), vas = DataOf("all.wav", all);
  EXPECT_GE(data.size(), 16000u * 9 / 10);
  EXPECT_LE(data.size(), 16000u * 3 / 2);
  EXPECT_EQ(std::count(data.begin(), data.end(), 0), static_cast<long>(data.size()));
  DataOf("gsm.wav", gsm);
  EXPECT_TRUE(gsm.IsGsm());
  EXPECT_GE(gsm.GetDataBytes() / 65, 22u);  // 25 pairs a second
  EXPECT_LE(gsm.GetDataBytes() / 65, 38u);
  EXPECT_TRUE(DataOf("quiet.wav", quiet).empty());
  EXPECT_GE(vas.size(), 8000u * 9 / 10);
  EXPECT_EQ(std::count(vas.begin(), vas.end(), 128), static_cast<long>(vas.size()));
}

TEST_F(QuillonWavTest, InterruptedRecordingLeavesACompleteFile) {
  const std::string path = File("long.wav");
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = Spawn({"record", "--format", "8192", "--seconds", "60", path});
  ASSERT_TRUE(WaitFor([&] {
    std::error_code ec;
    return std::filesystem::file_size(path, ec) > 44 + 640 * 3 && !ec;
  }));
  kill(pid, SIGINT);
  Result r = Wait(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_GT(bytes.size(), 44u);
  EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
}

TEST_F(QuillonWavTest, PlayPrintsPositionAndLengthUntilTheEndOrATermination) {
  ASSERT_TRUE(Record(File("two.wav"), kFormatPcm8k8, std::vector<uint8_t>(8000 * 2 + 400, 128)));
  Result r = Run({"play", File("two.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  ASSERT_GE(r.Out.size(), 36u) << r.Out;  // a line a second, and the end
  EXPECT_EQ(r.Out.substr(8, 10), "/00:00:02\n") << r.Out;
  EXPECT_EQ(r.Out.substr(r.Out.size() - 18), "00:00:02/00:00:02\n") << r.Out;
  r = Run({"play", "--quiet", File("two.wav")});
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "");

  ASSERT_TRUE(Record(File("long.wav"), kFormatPcm8k8, std::vector<uint8_t>(8000 * 60, 128)));
  const pid_t pid = Spawn({"play", File("long.wav")});
  ASSERT_TRUE(WaitFor([&] { return !ReadBytes(File("stdout.txt")).empty(); }));  // a second has passed
  kill(pid, SIGTERM);
  r = Wait(pid);
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out.substr(0, 7), "00:00:0") << r.Out;
  EXPECT_EQ(r.Out.substr(8, 10), "/00:01:00\n") << r.Out;
}

TEST_F(QuillonWavTest, MissingDeviceGivesTheDeviceTextAndFails) {
  std::filesystem::create_directories(File("config/alsa"));
  const std::string rc = "pcm.!default { type hw card 9 }\nctl.!default { type hw card 9 }\n";
  WriteBytes(File("config/alsa/asoundrc"), std::vector<uint8_t>(rc.begin(), rc.end()));
  auto deviceText = [&](const Result& r, const std::string& name) {
    for (uint32_t code : {platform::kWaveBadDeviceId, platform::kWaveNoDriver})
      if (r.Err == "quillon-wav: " + name + ": " + platform::ToUtf8(platform::WaveErrorText(code)) + "\n") return true;
    return false;
  };
  Result r = Run({"record", "--format", "8192", "--seconds", "1", File("none.wav")}, "");
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(deviceText(r, File("none.wav"))) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(File("none.wav")));

  ASSERT_TRUE(Record(File("some.wav"), kFormatPcm8k16, std::vector<uint8_t>(6400, 0)));
  r = Run({"play", File("some.wav")}, "");
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(deviceText(r, File("some.wav"))) << r.Err;
}

TEST_F(QuillonWavTest, OneLineErrorsAndUsageErrors) {
  Result r = Run({"info", File("missing.wav")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("missing.wav") + ": No such file or directory\n");
  WriteBytes(File("text.wav"), {'h', 'e', 'l', 'l', 'o'});
  r = Run({"decode", File("text.wav"), File("o.raw")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("text.wav") + ": Wrong file format.\n");
  ASSERT_TRUE(Record(File("p.wav"), kFormatPcm8k16, std::vector<uint8_t>(640, 0)));
  r = Run({"encode", "--format", "49", File("p.wav"), File("no/dir/out.wav")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("no/dir/out.wav") + ": No such file or directory\n");

  const std::vector<std::string> usage[] = {
      {"encode", "--format", "2", File("p.wav"), File("o.wav")},
      {"encode", File("p.wav"), File("o.wav")},
      {"frobnicate"},
      {"record", "--format", "3", "--seconds", "1", File("x.wav")},
      {"record", "--format", "8192", File("x.wav")},
      {"record", "--format", "8192", "--seconds", "0", File("x.wav")},
      {"record", "--format", "8192", "--seconds", "1", "--vas", "101", File("x.wav")},
      {"play"},
      {"play", "--loud", File("x.wav")},
  };
  for (const auto& args : usage) EXPECT_EQ(Run(args).Exit, 2) << args[0] << " " << args.back();
  EXPECT_FALSE(std::filesystem::exists(File("x.wav")));
  r = Run({});
  EXPECT_EQ(r.Exit, 2);
  EXPECT_NE(r.Err.find("quillon-wav decode [--backward] IN.wav OUT.raw"), std::string::npos);
}

}  // namespace
}  // namespace audiotest
