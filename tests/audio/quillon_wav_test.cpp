// The quillon-wav tool, run as a user runs it, on the virtual device at real
// time (its input is silence).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/format_presets.h"
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
  pid_t Spawn(const std::vector<std::string>& args) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    dup2(open(File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    setenv("QUILLON_WAVE_BACKEND", "virtual", 1);
    std::vector<char*> argv{const_cast<char*>(QUILLON_WAV_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUILLON_WAV_EXE, argv.data());
    _exit(127);
  }
  Result Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    const Bytes o = ReadBytes(File("stdout.txt")), e = ReadBytes(File("stderr.txt"));
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(o.begin(), o.end()),
                  std::string(e.begin(), e.end())};
  }
  Result Run(const std::vector<std::string>& args) { return Wait(Spawn(args)); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  Bytes DataOf(const std::string& name, WaveFileStream& s) {
    EXPECT_TRUE(s.Open(HostPath(File(name)), kStreamRead)) << name;
    return ReadAll(s, kReadForward);
  }
  TempDir dir_;
};

TEST_F(QuillonWavTest, InfoShowsWhatThePlayerSees) {
  ASSERT_TRUE(Record(File("p.wav"), kFormatPcm8k16, Bytes(24000, 0)));
  const Result r = Run({"info", File("p.wav")});
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "File: " + File("p.wav") +
                       "\nFormat: PCM (WAV)\nSample rate: 8000 Hz\nBits per sample: 16\nChannels: 1\n"
                       "Frames: 12000\nLength: 2 s (00:00:02)\n");
}

TEST_F(QuillonWavTest, EncodeConvertsOnlyWhatIsNeededAndDecodeGivesTheDeviceBytes) {
  // A 440 Hz stereo sine at 44100 Hz, 2 s, to GSM: mono, 8000 Hz, in the sizes of a recording.
  std::vector<int16_t> sine;
  for (int i = 0; i < 44100 * 2 * 2; ++i) sine.push_back(static_cast<int16_t>(12000 * std::sin(M_PI * 440 * i / 44100)));
  WriteBytes(File("cd.wav"), Riff({{"fmt ", PcmFmt(2, 44100, 16)}, {"data", AsBytes(sine)}}));
  Result r = Run({"encode", "--format", "49", File("cd.wav"), File("g.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  WaveFileStream g;
  const Bytes decoded = DataOf("g.wav", g);
  EXPECT_EQ(g.GetDataBytes(), 50u * 65);
  int crossings = 0;  // rising zero crossings: the tone survives at its pitch
  for (size_t i = 2; i + 1 < decoded.size(); i += 2)
    crossings += static_cast<int16_t>(decoded[i - 2] | decoded[i - 1] << 8) < 0 &&
                 static_cast<int16_t>(decoded[i] | decoded[i + 1] << 8) >= 0;
  EXPECT_NEAR(crossings / 2.0, 440, 15);

  ASSERT_TRUE(Record(File("s.wav"), kFormatPcm8k16, AsBytes(SpeechLike(5000))));
  ASSERT_EQ(Run({"encode", "--format=8192", File("s.wav"), File("same.wav")}).Exit, 0);
  EXPECT_EQ(ReadBytes(File("same.wav")), ReadBytes(File("s.wav")));

  ASSERT_EQ(Run({"decode", File("g.wav"), File("f.raw")}).Exit, 0);
  ASSERT_EQ(Run({"decode", "--backward", File("g.wav"), File("b.raw")}).Exit, 0);
  EXPECT_EQ(ReadBytes(File("f.raw")), decoded);
  EXPECT_EQ(ReadBytes(File("b.raw")), ReadAll(g, kReadBackward));
}

// A recording ends after its seconds or at Ctrl-C with a complete file; the
// virtual input is silence and never reaches a threshold of 1 %.
TEST_F(QuillonWavTest, RecordAndPlayRunTheirTimeOrUntilInterrupted) {
  Result r = Run({"record", "--format", "8192", "--seconds", "1", File("pcm.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, File("pcm.wav") + ": 00:00:01 recorded\n");
  WaveFileStream pcm, quiet;
  const size_t bytes = DataOf("pcm.wav", pcm).size();
  EXPECT_TRUE(bytes >= 16000u * 9 / 10 && bytes <= 16000u * 3 / 2) << bytes;
  ASSERT_EQ(Run({"record", "--format", "4096", "--seconds", "1", "--vas", "1", File("quiet.wav")}).Exit, 0);
  EXPECT_TRUE(DataOf("quiet.wav", quiet).empty());

  const std::string path = File("long.wav");
  const pid_t pid = Spawn({"record", "--format", "8192", "--seconds", "60", path});
  for (int i = 0; i < 4000 && !(std::filesystem::exists(path) && std::filesystem::file_size(path) > 44 + 640 * 3); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // polled; the bound is only a safety net
  kill(pid, SIGINT);
  r = Wait(pid);
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const Bytes file = ReadBytes(path);
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  EXPECT_EQ(Le32(file, 40), file.size() - 44);

  ASSERT_TRUE(Record(File("two.wav"), kFormatPcm8k8, Bytes(8000 * 2 + 400, 128)));
  r = Run({"play", File("two.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  ASSERT_GE(r.Out.size(), 36u) << r.Out;  // a line a second, and the end
  EXPECT_EQ(r.Out.substr(r.Out.size() - 18), "00:00:02/00:00:02\n") << r.Out;
  EXPECT_EQ(Run({"play", "--quiet", File("two.wav")}).Out, "");
}

TEST_F(QuillonWavTest, ErrorsAreOneLineAndUsageErrorsExitWithTwo) {
  Result r = Run({"info", File("missing.wav")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("missing.wav") + ": No such file or directory\n");
  WriteBytes(File("text.wav"), {'h', 'e', 'l', 'l', 'o'});
  r = Run({"decode", File("text.wav"), File("o.raw")});
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err, "quillon-wav: " + File("text.wav") + ": Wrong file format.\n");

  const std::vector<std::string> usage[] = {{"encode", "--format", "2", File("p.wav"), File("o.wav")},
                                            {"frobnicate"},
                                            {"record", "--format", "8192", File("x.wav")},
                                            {"record", "--format", "8192", "--seconds", "1", "--vas", "101", File("x.wav")},
                                            {"play", "--loud", File("x.wav")}};
  for (const auto& args : usage) EXPECT_EQ(Run(args).Exit, 2) << args[0] << " " << args.back();
  EXPECT_FALSE(std::filesystem::exists(File("x.wav")));
}

}  // namespace
}  // namespace audiotest
