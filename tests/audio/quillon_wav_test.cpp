// The quillon-wav tool, run from a shell as a user runs it, on the virtual
// device at real time (its input is silence).

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/export_job.h"
#include "audio/format_presets.h"
#include "audio/time_stretch.h"
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
  // Runs `script` in the temporary folder with quillon-wav on the PATH.
  Result Run(const std::string& script) {
    const std::string bin = std::filesystem::path(QUILLON_WAV_EXE).parent_path();
    const int status = std::system(("cd " + dir_.Base() + " && export PATH=" + bin +
                                    ":$PATH QUILLON_WAVE_BACKEND=virtual && { " + script + "; } >out 2>err")
                                       .c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text("out"), Text("err")};
  }
  std::string Text(const std::string& name) { return testsupport::ReadHostFile(dir_.File(name)); }
  // A PCM file's RIFF and data sizes agree with its length.
  static bool SizesMatch(const Bytes& f) { return Le32(f, 4) == f.size() - 8 && Le32(f, 40) == f.size() - 44; }
  TempDir dir_;
};

// Encoded as a recording codes and writes it, decoded as a playback reads it.
TEST_F(QuillonWavTest, EncodeCodesAsARecordingDoesAndDecodeGivesTheDeviceBytes) {
  ASSERT_TRUE(Record(dir_.File("s.wav"), kFormatPcm8k16, AsBytes(SpeechLike(5000))));
  ASSERT_TRUE(Record(dir_.File("recorded.wav"), kFormatGsm610, AsBytes(SpeechLike(5000))));
  ASSERT_EQ(Run("quillon-wav encode --format=8192 s.wav same.wav && quillon-wav encode --format 49 s.wav g.wav && "
                "quillon-wav decode g.wav f.raw && quillon-wav decode --backward g.wav b.raw")
                .Exit,
            0);
  EXPECT_EQ(ReadBytes(dir_.File("same.wav")), ReadBytes(dir_.File("s.wav")));
  EXPECT_EQ(ReadBytes(dir_.File("g.wav")), ReadBytes(dir_.File("recorded.wav")));
  WaveFileStream g;
  ASSERT_TRUE(g.Open(HostPath(dir_.File("g.wav")), kStreamRead));
  EXPECT_EQ(ReadBytes(dir_.File("f.raw")), ReadAll(g, kReadForward));
  EXPECT_EQ(ReadBytes(dir_.File("b.raw")), ReadAll(g, kReadBackward));
}

// The input is converted and written as it is read: under an address-space
// limit with room for the program but not for copies of the input, 34 minutes
// of 16-bit PCM still become a file of 8-bit samples. (The sanitizers reserve
// more address space than any such limit.)
TEST_F(QuillonWavTest, EncodeWorksInMemoryThatDoesNotGrowWithTheInput) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limits do not apply under a sanitizer";
#endif
  Bytes samples(64u << 20);  // high bytes only, so that 8 bits keep them exactly
  for (size_t i = 1; i < samples.size(); i += 2) samples[i] = static_cast<uint8_t>(i * 7 / 640);
  WriteBytes(dir_.File("long.wav"), Riff({{"fmt ", PcmFmt(1, 8000, 16)}, {"data", samples}}));
  const Result r = Run("ulimit -v 262144 && quillon-wav encode --format 4096 long.wav out.wav");
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const Bytes out = ReadBytes(dir_.File("out.wav"));
  ASSERT_EQ(out.size(), 44 + samples.size() / 2);
  for (size_t s = 0; s < samples.size() / 2; s += 99991) EXPECT_EQ(out[44 + s], samples[2 * s + 1] ^ 0x80) << s;
}

// Ctrl-C ends a recording with a complete file.
TEST_F(QuillonWavTest, RecordEndsAtCtrlCAndPlayRunsToTheEndOfAnOddGsmFile) {
  Result r =
      Run("quillon-wav record --format 8192 --seconds 60 long.wav & "
          "while [ \"$(stat -c %s .long.wav.* 2>/dev/null || echo 0)\" -le 2000 ]; do sleep 0.005; done; "
          "kill -INT $! && wait $!");
  ASSERT_EQ(r.Exit, 0) << r.Err;
  const Bytes file = ReadBytes(dir_.File("long.wav"));
  EXPECT_TRUE(SizesMatch(file));

  // Three pairs and the pad byte other writers count: played to the end.
  ASSERT_TRUE(Record(dir_.File("odd.wav"), kFormatGsm610, AsBytes(SpeechLike(320 * 3))));
  AddCountedPadByte(dir_.File("odd.wav"));
  r = Run("quillon-wav play --quiet odd.wav");
  EXPECT_EQ(r.Exit, 0) << r.Err;
}

// encode to the export's formats is the program's export (the same file as
// it writes, by extension or --format); decode --speed gives what playback
// at that speed sends; play --speed plays it and shows the file's time.
TEST_F(QuillonWavTest, EncodeExportsAndDecodeAndPlayTakeASpeed) {
  ASSERT_TRUE(Record(dir_.File("talk.wav"), kFormatGsm610, AsBytes(SpeechLike(8000))));
  ASSERT_EQ(Run("quillon-wav encode talk.wav talk.flac && quillon-wav encode --format opus talk.wav talk.ogg && "
                "quillon-wav encode --format=mp3 talk.wav talk.audio && quillon-wav encode talk.wav copy.wav")
                .Exit,
            0);
  ExportRequest request;
  request.Source = HostPath(dir_.File("talk.wav"));
  request.Target = dir_.File("engine.flac");
  request.Format = ExportFormat::Flac;
  ASSERT_EQ(ExportRecording(request).Outcome, ExportOutcome::Done);
  EXPECT_EQ(ReadBytes(dir_.File("talk.flac")), ReadBytes(dir_.File("engine.flac")));
  for (const char* name : {"talk.ogg", "talk.audio", "copy.wav"}) {
    SF_INFO info{};
    SNDFILE* file = sf_open(dir_.File(name).c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << name;
    EXPECT_NEAR(static_cast<double>(info.frames), 8000.0, 1152) << name;
    sf_close(file);
  }
  EXPECT_EQ(Run("quillon-wav encode talk.wav talk.aiff").Exit, 2) << "no format by that name";

  ASSERT_EQ(Run("quillon-wav decode --speed 0.75 talk.wav slow.raw && quillon-wav decode --speed=2 talk.wav fast.raw")
                .Exit,
            0);
  for (auto [name, speed] : {std::pair{"slow.raw", 75u}, {"fast.raw", 200u}}) {
    WaveFileStream stream;
    ASSERT_TRUE(stream.Open(HostPath(dir_.File("talk.wav")), kStreamRead));
    std::unique_ptr<TimeStretch> stretch = TimeStretch::Create(*stream.GetFormat());
    ASSERT_NE(stretch, nullptr);
    stretch->SetSpeed(speed);
    Bytes expected;
    uint32_t size = 640;
    for (uint8_t* block; (block = stretch->Read(&stream, &size)) != nullptr; size = 640) {
      expected.insert(expected.end(), block, block + size);
      diag::TrackedDelete(block);
    }
    EXPECT_EQ(ReadBytes(dir_.File(name)), expected) << name;
    EXPECT_EQ(expected.size(), 2 * std::llround(8000.0 * 100 / speed)) << name;
  }
  EXPECT_EQ(Run("quillon-wav decode --speed 0.8 talk.wav x.raw").Exit, 2);
  EXPECT_EQ(Run("quillon-wav decode --backward --speed 0.75 talk.wav x.raw").Exit, 2);

  const Result played = Run("quillon-wav play --speed 1.5 talk.wav");
  EXPECT_EQ(played.Exit, 0) << played.Err;
  EXPECT_EQ(played.Out.substr(played.Out.rfind('\n', played.Out.size() - 2) + 1), "00:00:01/00:00:01\n");
}

TEST_F(QuillonWavTest, ErrorsAreOneLineAndUsageErrorsExitWithTwo) {
  using Said = std::pair<int, std::string>;
  const auto said = [this](const std::string& script) {
    const Result r = Run(script);
    return Said(r.Exit, r.Err);
  };
  EXPECT_EQ(said("quillon-wav info missing.wav"), Said(1, "quillon-wav: missing.wav: No such file or directory\n"));
  WriteBytes(dir_.File("text.wav"), {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(said("quillon-wav decode text.wav o.raw"), Said(1, "quillon-wav: text.wav: Wrong file format.\n"));
  EXPECT_EQ(Run("quillon-wav record --format 8192 --vas 101 x.wav").Exit, 2);

  // A write that fails half-way (the file size limit here): the system's
  // text, and the output as it was before (none here).
  ASSERT_TRUE(Record(dir_.File("in.wav"), kFormatPcm8k16, Bytes(640 * 300, 1)));
  EXPECT_EQ(said("trap '' XFSZ; ulimit -f 128 && quillon-wav encode --format 8192 in.wav cut.wav"),
            Said(1, "quillon-wav: cut.wav: File too large\n"));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("cut.wav")));

  // No sound device (ALSA's default names a card that is not there): the
  // device layer's text, and no file left behind.
  std::filesystem::create_directories(dir_.File("config/alsa"));
  testsupport::WriteHostFile(dir_.File("config/alsa/asoundrc"),
                             "pcm.!default { type hw card 9 }\nctl.!default { type hw card 9 }\n");
  const Said none = said("unset QUILLON_WAVE_BACKEND; PULSE_SERVER=unix:/nonexistent HOME=$PWD XDG_CONFIG_HOME=$PWD/config "
                         "quillon-wav record --format 8192 --seconds 1 none.wav");
  EXPECT_EQ(none.first, 1);
  EXPECT_TRUE(none.second == "quillon-wav: none.wav: No sound device driver is present.\n" ||
              none.second ==
                  "quillon-wav: none.wav: The sound device identifier is out of range; no such device is present.\n")
      << none.second;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("none.wav")));
}

}  // namespace
}  // namespace audiotest
