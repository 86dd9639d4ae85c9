#pragma once
// An output file that can never cost the input. The output is refused when
// it is one of the inputs (the same device and inode: the same name, a link
// to it or a hard link), before anything is opened for writing. It is then
// written under a temporary name in its own folder and put in its place
// only when complete, so a failure midway leaves the old output (or none)
// as it was. An output that is no regular file (a FIFO, /dev/stdout) is
// written directly, as a stream.

#include <string>
#include <vector>

#include "platform/file.h"

namespace quillonwav {

class SafeOutput {
 public:
  // name: the output as the user gave it.
  explicit SafeOutput(std::string name);
  // Removes the temporary file unless it was put in place.
  ~SafeOutput();
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Checks the output against the inputs and makes the temporary file;
  // false (the reason printed) when the output must not be written. A WAV
  // file, whose header is rewritten as it grows, needs a regular file:
  // with regularOnly an output that is none is refused.
  bool Prepare(const std::vector<std::string>& inputs, bool regularOnly);
  // Also removes the temporary file when SIGINT, SIGTERM or SIGHUP ends the
  // command (not for commands that stop on those signals themselves).
  void RemoveOnSignal();
  // Where to write: the temporary file, or the output itself when Direct().
  const std::string& WritePath() const { return writePath_; }
  bool Direct() const { return direct_; }
  // Opens WritePath() for writing into file; false (reason printed) when it cannot.
  bool Open(platform::File* file);
  // Puts the temporary file in the output's place; false (reason printed)
  // when it cannot. Nothing to do when Direct().
  bool Commit();

 private:
  std::string name_;
  std::string target_;     // the output's host path, links resolved
  std::string writePath_;
  bool direct_ = false;
  bool committed_ = false;
};

}  // namespace quillonwav
