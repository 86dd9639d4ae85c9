// quillon-wav's outputs: never one of its inputs, and in place only once
// complete.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "audio/format_presets.h"
#include "wave_test_files.h"

namespace audiotest {
namespace {

namespace fs = std::filesystem;
using namespace audio;

class QuillonWavOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Record(dir_.File("x.wav"), kFormatPcm8k16, AsBytes(SpeechLike(4000))));
    original_ = ReadBytes(dir_.File("x.wav"));
  }
  // Exit status and standard error of a quillon-wav command (or a script
  // of them) run in the folder.
  std::pair<int, std::string> Run(const std::string& script) {
    const std::string bin = fs::path(QUILLON_WAV_EXE).parent_path();
    const std::string line = "cd " + dir_.Base() + " && export PATH=" + bin +
                             ":$PATH QUILLON_WAVE_BACKEND=virtual && { " + script + "; } >/dev/null 2>err";
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testsupport::ReadHostFile(dir_.File("err"))};
  }
  // The folder's names besides the input and the error file: no leftovers.
  std::string Others() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.Base())) names.insert(entry.path().filename().string());
    std::string others;
    for (const std::string& name : names) {
      if (name != "x.wav" && name != "err" && name != "documents" && name != "config" && name != "cards")
        others += name + " ";
    }
    return others;
  }
  TempDir dir_;
  Bytes original_;
};

// The output named as the input, through a link or a hard link: refused
// before anything is written, and the input is as it was.
TEST_F(QuillonWavOutputTest, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
  const struct {
    const char* command;
    const char* output;
  } cases[] = {
      {"quillon-wav encode --format 49 x.wav x.wav", "x.wav"},
      {"quillon-wav decode x.wav x.wav", "x.wav"},
      {"quillon-wav decode --backward x.wav ./x.wav", "./x.wav"},
      {"quillon-wav encode --format 8192 x.wav link.wav", "link.wav"},
      {"quillon-wav decode link.wav x.wav", "x.wav"},
      {"quillon-wav encode --format 4096 x.wav hard.wav", "hard.wav"},
  };
  fs::create_symlink("x.wav", dir_.File("link.wav"));
  fs::create_hard_link(dir_.File("x.wav"), dir_.File("hard.wav"));
  for (const auto& c : cases) {
    const auto [exit, said] = Run(c.command);
    EXPECT_EQ(exit, 1) << c.command;
    EXPECT_NE(said.find(std::string("quillon-wav: ") + c.output + ": the output is the input file"),
              std::string::npos)
        << c.command << ": " << said;
    EXPECT_EQ(ReadBytes(dir_.File("x.wav")), original_) << c.command;
  }
  EXPECT_EQ(Others(), "hard.wav link.wav ") << "nothing else was left";
}

// Every command writes beside its output and puts the file in place at the
// end: a failure leaves the old output whole and no temporary file, and a
// success replaces it keeping its mode; a FIFO output is written as a stream.
TEST_F(QuillonWavOutputTest, AFailedCommandKeepsTheOldOutputAndASuccessReplacesIt) {
  ASSERT_TRUE(testsupport::WriteHostFile(dir_.File("old.wav"), "precious"));
  fs::permissions(dir_.File("old.wav"), fs::perms(0640));
  // The file size limit cuts the encoding half-way.
  EXPECT_EQ(Run("trap '' XFSZ; ulimit -f 10 && quillon-wav encode --format 8192 x.wav old.wav").first, 1);
  EXPECT_EQ(testsupport::ReadHostFile(dir_.File("old.wav")), "precious");
  EXPECT_EQ(Others(), "old.wav ");

  for (const char* command : {"quillon-wav encode --format 8192 x.wav old.wav", "quillon-wav decode x.wav old.wav"}) {
    ASSERT_TRUE(testsupport::WriteHostFile(dir_.File("old.wav"), "precious"));
    fs::permissions(dir_.File("old.wav"), fs::perms(0640));
    const auto [exit, said] = Run(command);
    EXPECT_EQ(exit, 0) << command << ": " << said;
    EXPECT_NE(testsupport::ReadHostFile(dir_.File("old.wav")), "precious") << command;
    EXPECT_EQ(fs::status(dir_.File("old.wav")).permissions() & fs::perms::all, fs::perms(0640)) << command;
    EXPECT_EQ(Others(), "old.wav ") << command;
  }
  EXPECT_EQ(ReadBytes(dir_.File("old.wav")).size(), original_.size() - 44) << "the decoded samples";

  // Ended by a signal half-way: no output, no temporary file.
  WriteBytes(dir_.File("long.wav"), Riff({{"fmt ", PcmFmt(1, 8000, 16)}, {"data", Bytes(64u << 20, 3)}}));
  const auto stopped = Run(
      "quillon-wav encode --format 4096 long.wav cut.wav & "
      "until [ \"$(stat -c %s .cut.wav.* 2>/dev/null || echo 0)\" -gt 1000 ]; do sleep 0.005; done; "
      "kill -TERM $!; wait $!; [ $? -eq 143 ]");
  EXPECT_EQ(stopped.first, 0) << "ended by the signal: " << stopped.second;
  fs::remove(dir_.File("long.wav"));
  EXPECT_EQ(Others(), "old.wav ") << "nothing left by the stopped encoding";

  // A stream out: the bytes go through the FIFO to its reader.
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0600), 0);
  const auto [exit, said] = Run("quillon-wav decode x.wav pipe & cat pipe > piped.raw; wait $! && test -p pipe");
  EXPECT_EQ(exit, 0) << said;
  EXPECT_EQ(ReadBytes(dir_.File("piped.raw")).size(), original_.size() - 44);
  // A WAV file cannot go into one: its header is rewritten as it grows.
  const auto refused = Run("quillon-wav encode --format 8192 x.wav pipe");
  EXPECT_EQ(refused.first, 1);
  EXPECT_NE(refused.second.find("not a regular file"), std::string::npos) << refused.second;
}

}  // namespace
}  // namespace audiotest
