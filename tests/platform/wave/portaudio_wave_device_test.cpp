// The PortAudio backend through ALSA's file plugin. ALSA and PortAudio read
// their configuration once per process, so every scenario runs in a child
// process of this executable (`--child SCENARIO FOLDER`) and the test checks
// what it left behind. 16-bit mono playback and capture through this backend
// are the e2e scripts' (the real program plays and records exactly).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/wave_device.h"
#include "support/temp_roots.h"

namespace {

using namespace platform;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBufferBytes = 640;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
  return bytes;
}

// `count` buffers through three rotating headers, played from the pattern or
// captured; the child writes what it captured and the time it took.
int ChildRun(const fs::path& dir, bool play, int count) {
  const std::string pattern = Pattern(count * kBufferBytes);
  std::vector<char> bytes(3 * kBufferBytes);
  WaveHeader headers[3];
  for (int i = 0; i < 3; ++i) headers[i] = {bytes.data() + i * kBufferBytes, kBufferBytes};
  std::string captured;
  std::atomic<int> handed{0}, done{0};
  Event finished(true, false);
  auto fill = [&](WaveHeader& h) { std::memcpy(h.data, pattern.data() + kBufferBytes * handed++, kBufferBytes); };
  std::unique_ptr<WaveOutDevice> out;
  std::unique_ptr<WaveInDevice> in;
  const WaveResult r =
      play ? WaveOutDevice::Open(out, kWaveMapper, MakePcmFormat(11025, 8, 2),
                                 [&](WaveOutDevice* device, uint32_t message, uintptr_t, WaveHeader* h) {
                                   if (message != kWaveOutDone || !(h->flags & kWaveHeaderDone)) return;
                                   if (++done == count) finished.Set();
                                   if (handed >= count) return;
                                   fill(*h);
                                   device->Write(h);
                                 },
                                 0)
           : WaveInDevice::Open(in, kWaveMapper, MakePcmFormat(8000, 16, 1),
                                [&](WaveInDevice* device, uint32_t message, uintptr_t, WaveHeader* h) {
                                  if (message != kWaveInData || done >= count) return;
                                  captured.append(h->data, h->bytesRecorded);
                                  if (++done == count) finished.Set();
                                  else device->AddBuffer(h);
                                },
                                0);
  if (r != kWaveOk) return 2;
  const auto start = Clock::now();
  if (play) {
    // Paused, so that a callback coming at once cannot requeue ahead of the others.
    out->Pause();
    for (WaveHeader& h : headers) {
      out->Prepare(&h);
      fill(h);
      out->Write(&h);
    }
    out->Restart();
  } else {
    for (WaveHeader& h : headers) {
      in->Prepare(&h);
      in->AddBuffer(&h);
    }
    if (in->Start() != kWaveOk) return 5;
  }
  if (!finished.Wait(30000)) return 3;
  std::ofstream(dir / "elapsed") << std::chrono::duration<double>(Clock::now() - start).count();
  WriteHostFile(dir / "captured.raw", captured);
  if (in) in->Reset();
  return (play ? out->Close() : in->Close()) == kWaveOk ? 0 : 4;
}

class PortAudioWaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon-pa-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directories(dir_ / "config" / "alsa");
    WriteHostFile(dir_ / "config" / "alsa" / "asoundrc",
                  "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  format \"raw\"\n  file \"" +
                      (dir_ / "out.raw").string() + "\"\n  infile \"" + (dir_ / "in.raw").string() + "\"\n}\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs `--child scenario dir` with the folder as home and configuration and
  // its output in files there; true when it succeeded and wrote no errors.
  bool Child(const std::string& scenario) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      setenv("HOME", dir_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      unsetenv("QUILLON_WAVE_BACKEND");
      dup2(open((dir_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      execl("/proc/self/exe", "platform_portaudio_tests", "--child", scenario.c_str(), dir_.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(Read("stderr"), "") << scenario;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::string Read(const char* name) { return ReadHostFile(dir_ / name); }
  double Elapsed() { return std::stod(Read("elapsed")); }
  fs::path dir_;
};

// Written to a device that never blocks (or read from one), the bytes pass
// unchanged and still take their real time: 0.58 s for the 8-bit stereo
// ones played, 2 s for the 16-bit mono ones captured.
TEST_F(PortAudioWaveTest, BytesPassUnchangedAtRealTimePace) {
  ASSERT_TRUE(Child("play"));
  EXPECT_TRUE(Read("out.raw") == Pattern(20 * kBufferBytes)) << Read("out.raw").size() << " bytes";
  EXPECT_GE(Elapsed(), 0.45);
  WriteHostFile(dir_ / "in.raw", Pattern(3 * 16000));
  ASSERT_TRUE(Child("record"));
  EXPECT_TRUE(Read("captured.raw") == Pattern(50 * kBufferBytes)) << Read("captured.raw").size() << " bytes";
  EXPECT_GE(Elapsed(), 1.5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
    const bool play = std::strcmp(argv[2], "play") == 0;
    return ChildRun(argv[3], play, play ? 20 : 50);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
