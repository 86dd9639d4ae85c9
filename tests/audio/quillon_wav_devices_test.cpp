// quillon-wav and the sound devices, run from a shell as a user runs it: the
// devices of a private PulseAudio daemon listed, recording from the one
// chosen by its id, a chosen one that is missing named; and on the virtual
// device's live input, the input a stalled write lost told after the
// recording, to the millisecond.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/pulse_server.h"
#include "wave_test_files.h"

namespace audiotest {
namespace {

struct Result {
  int Exit = -1;
  std::string Out, Err;
};

class QuillonWavDevicesTest : public ::testing::Test {
 protected:
  Result Run(const std::string& script) {
    const std::string bin = std::filesystem::path(QUILLON_WAV_EXE).parent_path();
    const int status =
        std::system(("cd " + dir_.Base() + " && export PATH=" + bin + ":$PATH && { " + script + "; } >out 2>err").c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text("out"), Text("err")};
  }
  std::string Text(const std::string& name) { return testsupport::ReadHostFile(dir_.File(name)); }
  static Bytes Data(const Bytes& wav) { return wav.size() > 44 ? Bytes(wav.begin() + 44, wav.end()) : Bytes{}; }
  TempDir dir_;
};

Bytes Numbered(size_t samples, uint32_t seed) { return testsupport::NumberedSamples(samples, seed); }

TEST_F(QuillonWavDevicesTest, ListsTheServersDevicesAndRecordsFromTheOneChosen) {
  testsupport::PulseServer server({{"mic_a", "Built-in Audio Analog Stereo", true},
                                   {"mic_b", "USB Headset Mono", true},
                                   {"spk", "Speakers", false}});
  if (!server.Ok()) GTEST_SKIP() << server.Why();
  ASSERT_EQ(server.Pactl("set-default-source mic_a"), 0);
  Result r = Run("quillon-wav devices");
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "in\tmic_a\tBuilt-in Audio Analog Stereo\t*\n"
            "in\tmic_b\tUSB Headset Mono\n"
            "out\tspk\tSpeakers\t*\n");

  // Fed once the recording's stream is on the server, and done before the
  // recording ends: the file is exactly what the chosen source gave.
  const Bytes content = Numbered(8000, 5);
  std::thread feeder([&] {
    std::string outputs;
    for (int i = 0; i < 500; ++i) {
      server.Pactl("list source-outputs", &outputs);
      if (outputs.find("Corked: no") != std::string::npos) break;  // recording
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server.Feed("mic_a", Numbered(8000, 6));  // not chosen: not recorded
    server.Feed("mic_b", content);
  });
  r = Run("quillon-wav record --format 8192 --seconds 3 --device mic_b b.wav");
  feeder.join();
  server.Fed();
  ASSERT_EQ(r.Exit, 0) << r.Err;
  EXPECT_EQ(Data(ReadBytes(dir_.File("b.wav"))), content);

  r = Run("quillon-wav record --format 8192 --seconds 1 --device mic_webcam w.wav");
  EXPECT_EQ(r.Exit, 1);
  EXPECT_EQ(r.Err,
            "quillon-wav: w.wav: \"mic_webcam\", the device to record from, is not connected. Connect it, or choose "
            "another one on the Audio page of the settings.\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("w.wav")));
  EXPECT_EQ(Run("quillon-wav record --format 8192 --seconds 1 --pre-roll 300 x.wav").Exit, 2) << "needs --vas";
  EXPECT_EQ(Run("quillon-wav record --format 8192 --seconds 1 --vas 10 --pre-roll 250 x.wav").Exit, 2);
}

// A write held up for 2 s while the live input runs 50 times real time:
// 100 s of input go by, the ring keeps 8 s of them, and what was lost is
// exactly the input the file lacks.
TEST_F(QuillonWavDevicesTest, InputLostToAStallIsToldToTheMillisecond) {
  const Result r = Run(std::string("LD_PRELOAD=") + QUILLON_STALL_SHIM +
                       " QUILLON_STALL_AT=20 QUILLON_STALL_MS=2000 QUILLON_WAVE_BACKEND=virtual:50:60:live "
                       "quillon-wav record --format 8192 --seconds 4 s.wav");
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const std::string said = " ms of input were lost.\n";
  const size_t at = r.Err.find(said);
  ASSERT_NE(at, std::string::npos) << r.Err;
  const size_t start = r.Err.rfind(' ', at - 1) + 1;
  const long lostMs = std::atol(r.Err.substr(start, at - start).c_str());
  const long recordedMs = static_cast<long>(Data(ReadBytes(dir_.File("s.wav"))).size() / 16);
  EXPECT_GE(lostMs, 50000) << r.Err;
  EXPECT_NEAR(recordedMs + lostMs, 60000, 1) << "every millisecond of the input either recorded or told lost";
}

}  // namespace
}  // namespace audiotest
