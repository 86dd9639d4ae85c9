// quillon-wav play and record, run as a user runs them: on the virtual
// device at real time (QUILLON_WAVE_BACKEND=virtual, silent input), and on
// PortAudio with no sound card.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/format_presets.h"
#include "audio/wave_file_stream.h"
#include "platform/text.h"
#include "platform/wave_types.h"
#include "wave_test_files.h"

namespace audiotest {
namespace {

struct Result {
  int Exit = -1;
  std::string Out;
  std::string Err;
};

class WaveIOCommandsTest : public ::testing::Test {
 protected:
  // Starts quillon-wav with `args`; `backend` is the QUILLON_WAVE_BACKEND
  // value (empty: PortAudio, with ALSA's configuration under the temporary folder).
  pid_t Spawn(const std::vector<std::string>& args, const std::string& backend) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int out = open(dir_.File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(dir_.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    if (backend.empty()) {
      unsetenv("QUILLON_WAVE_BACKEND");
      setenv("HOME", dir_.Path().c_str(), 1);
    } else {
      setenv("QUILLON_WAVE_BACKEND", backend.c_str(), 1);
    }
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(QUILLON_WAV_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUILLON_WAV_EXE, argv.data());
    _exit(127);
  }
  Result Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    Result r;
    r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto o = ReadBytes(dir_.File("stdout.txt"));
    const auto e = ReadBytes(dir_.File("stderr.txt"));
    r.Out.assign(o.begin(), o.end());
    r.Err.assign(e.begin(), e.end());
    return r;
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

  TempDir dir_;
};

std::vector<uint8_t> DataOf(const std::string& path, audio::WaveFileStream& stream) {
  EXPECT_TRUE(stream.Open(HostPath(path), audio::kStreamRead)) << path;
  return ReadAll(stream, audio::kReadForward);
}

TEST_F(WaveIOCommandsTest, RecordWritesTheGivenSecondsOfInput) {
  Result r = Run({"record", "--format", "8192", "--seconds", "1", File("pcm.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, File("pcm.wav") + ": 00:00:01 recorded\n");
  audio::WaveFileStream stream;
  const std::vector<uint8_t> data = DataOf(File("pcm.wav"), stream);
  EXPECT_GE(data.size(), 16000u * 9 / 10);
  EXPECT_LE(data.size(), 16000u * 3 / 2);
  EXPECT_EQ(std::count(data.begin(), data.end(), 0), static_cast<long>(data.size()));  // silent input

  r = Run({"record", "--seconds", "1", "--format", "49", File("gsm.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  audio::WaveFileStream gsm;
  ASSERT_TRUE(gsm.Open(HostPath(File("gsm.wav")), audio::kStreamRead));
  EXPECT_TRUE(gsm.IsGsm());
  EXPECT_GE(gsm.GetDataBytes() / 65, 22u);  // 25 pairs a second
  EXPECT_LE(gsm.GetDataBytes() / 65, 38u);
}

TEST_F(WaveIOCommandsTest, RecordUnderVoiceActivationWritesOnlyWhatReachesTheThreshold) {
  // Silence never reaches 1 %, and always reaches 0 %.
  Result r = Run({"record", "--format", "4096", "--seconds", "1", "--vas", "1", File("quiet.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  audio::WaveFileStream quiet;
  EXPECT_TRUE(DataOf(File("quiet.wav"), quiet).empty());

  r = Run({"record", "--format", "4096", "--seconds", "1", "--vas", "0", "--amplify", File("all.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  audio::WaveFileStream all;
  const std::vector<uint8_t> data = DataOf(File("all.wav"), all);
  EXPECT_GE(data.size(), 8000u * 9 / 10);
  EXPECT_EQ(std::count(data.begin(), data.end(), 128), static_cast<long>(data.size()));
}

TEST_F(WaveIOCommandsTest, InterruptedRecordingLeavesACompleteFile) {
  const std::string path = File("long.wav");
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = Spawn({"record", "--format", "8192", "--seconds", "60", path}, "virtual");
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
  EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);    // RIFF size
  EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);  // data size
}

TEST_F(WaveIOCommandsTest, PlayRunsToTheEndPrintingPositionAndLength) {
  ASSERT_TRUE(Record(File("two.wav"), audio::kFormatPcm8k8, std::vector<uint8_t>(8000 * 2 + 400, 128)));
  Result r = Run({"play", File("two.wav")});
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  // A line a second, and the end.
  ASSERT_GE(r.Out.size(), 36u) << r.Out;
  EXPECT_EQ(r.Out.substr(0, 18).substr(8), "/00:00:02\n") << r.Out;
  EXPECT_EQ(r.Out.substr(r.Out.size() - 18), "00:00:02/00:00:02\n") << r.Out;

  r = Run({"play", "--quiet", File("two.wav")});
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
}

TEST_F(WaveIOCommandsTest, TerminatedPlaybackStopsCleanly) {
  ASSERT_TRUE(Record(File("long.wav"), audio::kFormatPcm8k8, std::vector<uint8_t>(8000 * 60, 128)));
  const pid_t pid = Spawn({"play", File("long.wav")}, "virtual");
  ASSERT_TRUE(WaitFor([&] { return !ReadBytes(dir_.File("stdout.txt")).empty(); }));  // a second has passed
  kill(pid, SIGTERM);
  Result r = Wait(pid);
  EXPECT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out.substr(0, 7), "00:00:0") << r.Out;
  EXPECT_EQ(r.Out.substr(8, 10), "/00:01:00\n") << r.Out;
}

TEST_F(WaveIOCommandsTest, MissingDeviceGivesTheDeviceTextAndFails) {
  std::filesystem::create_directories(File("config/alsa"));
  WriteBytes(File("config/alsa/asoundrc"), [] {
    const std::string rc = "pcm.!default { type hw card 9 }\nctl.!default { type hw card 9 }\n";
    return std::vector<uint8_t>(rc.begin(), rc.end());
  }());
  const std::string bad = platform::ToUtf8(platform::WaveErrorText(platform::kWaveBadDeviceId));
  const std::string none = platform::ToUtf8(platform::WaveErrorText(platform::kWaveNoDriver));
  auto deviceText = [&](const Result& r, const std::string& name) {
    return r.Err == "quillon-wav: " + name + ": " + bad + "\n" || r.Err == "quillon-wav: " + name + ": " + none + "\n";
  };

  Result r = Run({"record", "--format", "8192", "--seconds", "1", File("none.wav")}, "");
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(deviceText(r, File("none.wav"))) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(File("none.wav")));

  ASSERT_TRUE(Record(File("some.wav"), audio::kFormatPcm8k16, std::vector<uint8_t>(6400, 0)));
  r = Run({"play", File("some.wav")}, "");
  EXPECT_EQ(r.Exit, 1);
  EXPECT_TRUE(deviceText(r, File("some.wav"))) << r.Err;
}

TEST_F(WaveIOCommandsTest, BadArgumentsAreUsageErrors) {
  EXPECT_EQ(Run({"record", "--format", "3", "--seconds", "1", File("x.wav")}).Exit, 2);
  EXPECT_EQ(Run({"record", "--format", "8192", File("x.wav")}).Exit, 2);
  EXPECT_EQ(Run({"record", "--format", "8192", "--seconds", "0", File("x.wav")}).Exit, 2);
  EXPECT_EQ(Run({"record", "--format", "8192", "--seconds", "1", "--vas", "101", File("x.wav")}).Exit, 2);
  EXPECT_EQ(Run({"play"}).Exit, 2);
  EXPECT_EQ(Run({"play", "--loud", File("x.wav")}).Exit, 2);
  EXPECT_FALSE(std::filesystem::exists(File("x.wav")));
}

}  // namespace
}  // namespace audiotest
