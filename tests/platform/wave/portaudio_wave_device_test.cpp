// The PortAudio backend through ALSA's file plugin. ALSA and PortAudio read
// their configuration once per process, so every scenario runs in a child
// process of this executable (`--child SCENARIO FOLDER`) and the test checks
// what it left behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/text.h"
#include "platform/wave_device.h"
#include "support/temp_roots.h"

namespace {

using namespace platform;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr size_t kBufferBytes = 640;

uint8_t PatternByte(size_t i) { return static_cast<uint8_t>((i * 131 + i / 509) & 0xFF); }

// --- child side ------------------------------------------------------------

int OpenFailed(WaveResult r) {
  std::cout << "open failed " << r << " " << ToUtf8(WaveErrorText(r)) << "\n";
  return 2;
}

int Finish(const fs::path& dir, Clock::time_point start, Clock::time_point end = Clock::now()) {
  std::ofstream(dir / "elapsed") << std::chrono::duration<double>(end - start).count();
  return 0;
}

// Three headers over buffers of `size` bytes.
struct Rotation {
  explicit Rotation(size_t size) : blocks(3, std::vector<char>(size)), headers(3) {
    for (int i = 0; i < 3; ++i) {
      headers[i].data = blocks[i].data();
      headers[i].bufferLength = static_cast<uint32_t>(size);
    }
  }
  std::vector<std::vector<char>> blocks;
  std::vector<WaveHeader> headers;
};

// Plays `buffers` buffers of the pattern through three rotating headers.
int ChildPlay(const fs::path& dir, uint32_t rate, uint16_t bits, uint16_t channels, int buffers) {
  Rotation rotation(kBufferBytes);
  std::atomic<int> handed{0}, done{0};
  Event finished(true, false);
  std::unique_ptr<WaveOutDevice> out;
  auto fill = [&](WaveHeader& h) {
    const size_t n = handed++;
    for (size_t i = 0; i < kBufferBytes; ++i) h.data[i] = static_cast<char>(PatternByte(n * kBufferBytes + i));
  };
  WaveResult r = WaveOutDevice::Open(
      out, kWaveMapper, MakePcmFormat(rate, bits, channels),
      [&](WaveOutDevice* device, uint32_t message, uintptr_t, WaveHeader* h) {
        if (message != kWaveOutDone) return;
        if (++done == buffers) finished.Set();
        if (handed < buffers) {
          fill(*h);
          device->Write(h);
        }
      },
      0);
  if (r != kWaveOk) return OpenFailed(r);
  const auto start = Clock::now();
  // Paused, so that a callback coming at once cannot requeue ahead of the others.
  if (out->Pause() != kWaveOk) return 10;
  for (WaveHeader& h : rotation.headers) {
    out->Prepare(&h);
    fill(h);
    out->Write(&h);
  }
  if (out->Restart() != kWaveOk) return 11;
  if (!finished.Wait(30000)) return 3;
  return out->Close() == kWaveOk ? Finish(dir, start) : 4;
}

int ChildRecord(const fs::path& dir, int buffers) {
  Rotation rotation(kBufferBytes);
  std::string captured;
  std::atomic<int> done{0};
  Event finished(true, false);
  std::unique_ptr<WaveInDevice> in;
  WaveResult r = WaveInDevice::Open(
      in, kWaveMapper, MakePcmFormat(8000, 16, 1),
      [&](WaveInDevice* device, uint32_t message, uintptr_t, WaveHeader* h) {
        if (message != kWaveInData || done >= buffers) return;
        captured.append(h->data, h->bytesRecorded);
        if (++done == buffers) {
          finished.Set();
        } else {
          device->AddBuffer(h);
        }
      },
      0);
  if (r != kWaveOk) return OpenFailed(r);
  for (WaveHeader& h : rotation.headers) {
    in->Prepare(&h);
    in->AddBuffer(&h);
  }
  const auto start = Clock::now();
  if (in->Start() != kWaveOk) return 5;
  if (!finished.Wait(30000)) return 3;
  const auto end = Clock::now();
  in->Reset();
  if (in->Close() != kWaveOk) return 4;
  WriteHostFile(dir / "captured.raw", captured);
  return Finish(dir, start, end);
}

// Three seconds queued and reset at once: all come back done, unplayed.
int ChildReset(const fs::path& dir) {
  Rotation rotation(16000);
  std::atomic<int> done{0};
  std::unique_ptr<WaveOutDevice> out;
  WaveResult r = WaveOutDevice::Open(
      out, kWaveMapper, MakePcmFormat(8000, 16, 1),
      [&](WaveOutDevice*, uint32_t message, uintptr_t, WaveHeader* h) {
        if (message == kWaveOutDone && (h->flags & kWaveHeaderDone)) ++done;
      },
      0);
  if (r != kWaveOk) return OpenFailed(r);
  const auto start = Clock::now();
  for (WaveHeader& h : rotation.headers) {
    out->Prepare(&h);
    out->Write(&h);
  }
  if (out->Close() != kWaveStillPlaying) return 8;
  if (out->Reset() != kWaveOk || done != 3) return 9;
  return out->Close() == kWaveOk ? Finish(dir, start) : 4;
}

// No usable device: every call fails with a code that has a text.
int ChildNoDevice() {
  const WaveFormat format = MakePcmFormat(8000, 16, 1);
  std::unique_ptr<WaveOutDevice> out;
  std::unique_ptr<WaveInDevice> in;
  const WaveResult codes[] = {WaveOutDevice::Query(kWaveMapper, format), WaveInDevice::Query(kWaveMapper, format),
                              WaveOutDevice::Open(out, kWaveMapper, format, nullptr, 0),
                              WaveInDevice::Open(in, kWaveMapper, format, nullptr, 0)};
  for (WaveResult code : codes) {
    std::cout << code << " " << ToUtf8(WaveErrorText(code)) << "\n";
    if (code == kWaveOk || WaveErrorText(code).empty()) return 6;
  }
  return out || in ? 7 : 0;
}

int RunChild(const std::string& scenario, const fs::path& dir) {
  if (scenario == "play16") return ChildPlay(dir, 8000, 16, 1, 25);
  if (scenario == "play8stereo") return ChildPlay(dir, 11025, 8, 2, 20);
  if (scenario == "record") return ChildRecord(dir, 50);
  if (scenario == "reset") return ChildReset(dir);
  if (scenario == "nodevice") return ChildNoDevice();
  return 100;
}

// --- test side -------------------------------------------------------------

class PortAudioWaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon-pa-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fs::create_directories(dir_ / "config" / "alsa");
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Asoundrc(const std::string& text) { WriteHostFile(dir_ / "config" / "alsa" / "asoundrc", text); }
  void UseFilePlugin() {
    Asoundrc("pcm.!default {\n  type file\n  slave.pcm \"null\"\n  format \"raw\"\n  file \"" +
             (dir_ / "out.raw").string() + "\"\n  infile \"" + (dir_ / "in.raw").string() + "\"\n}\n");
  }

  // Runs `--child scenario dir` with the folder as home and configuration;
  // returns the exit status. Its output goes to files in the folder.
  int Child(const std::string& scenario) {
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
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string Read(const char* name) { return ReadHostFile(dir_ / name); }
  double Elapsed() { return std::stod(Read("elapsed")); }

  fs::path dir_;
};

// 16-bit mono and 8-bit stereo pass through unchanged, and written to a
// device that never blocks they still take their real time (1 s and 0.58 s).
TEST_F(PortAudioWaveTest, PlayedBytesLandInTheDevicesFileAtRealTimePace) {
  UseFilePlugin();
  const struct {
    const char* scenario;
    size_t buffers;
    double minSeconds;
  } cases[] = {{"play16", 25, 0.8}, {"play8stereo", 20, 0.45}};
  for (const auto& [scenario, buffers, minSeconds] : cases) {
    ASSERT_EQ(Child(scenario), 0) << scenario << ": " << Read("stdout");
    const std::string played = Read("out.raw");
    ASSERT_EQ(played.size(), buffers * kBufferBytes) << scenario;
    for (size_t i = 0; i < played.size(); ++i) {
      ASSERT_EQ(static_cast<uint8_t>(played[i]), PatternByte(i)) << scenario << " byte " << i;
    }
    EXPECT_EQ(Read("stderr"), "") << scenario;
    EXPECT_GE(Elapsed(), minSeconds) << scenario;
  }
}

TEST_F(PortAudioWaveTest, RecordingReadsTheDevicesFileInRealTimeAndResetDoesNotPlayOut) {
  UseFilePlugin();
  std::string input(3 * 16000, '\0');
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<char>(PatternByte(i));
  WriteHostFile(dir_ / "in.raw", input);
  ASSERT_EQ(Child("record"), 0) << Read("stdout");
  const std::string captured = Read("captured.raw");
  ASSERT_EQ(captured.size(), 50 * kBufferBytes);
  EXPECT_EQ(captured, input.substr(0, captured.size()));
  EXPECT_GE(Elapsed(), 1.5);
  EXPECT_LE(Elapsed(), 4.0);
  EXPECT_EQ(Read("stderr"), "");

  ASSERT_EQ(Child("reset"), 0) << Read("stdout");
  EXPECT_LT(Elapsed(), 2.0);  // three seconds were queued
  EXPECT_LT(Read("out.raw").size(), 16000u);
  EXPECT_EQ(Read("stderr"), "");
}

TEST_F(PortAudioWaveTest, MissingCardFailsWithACodeAndItsText) {
  Asoundrc("pcm.!default { type hw card 9 }\nctl.!default { type hw card 9 }\n");
  ASSERT_EQ(Child("nodevice"), 0) << Read("stdout");
  EXPECT_NE(Read("stdout").find("sound device"), std::string::npos) << Read("stdout");
  EXPECT_EQ(Read("stderr"), "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) return RunChild(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
