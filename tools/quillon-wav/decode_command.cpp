// quillon-wav decode [--backward] IN.wav OUT.raw: the device-side bytes that
// playback sends, block by block as Read delivers them. Backward starts at
// the end of the data and gives the blocks in reverse order, each with its
// samples in forward order, as scanning backward plays them.

#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "diag/tracker.h"
#include "platform/file.h"
#include "platform/text.h"
#include "safe_output.h"

namespace quillonwav {

namespace {

// Reads blocks in one direction until Read has no more; each one goes to
// out when out is given. False when writing fails.
bool Drain(audio::WaveFileStream& stream, uint32_t direction, platform::File* out) {
  for (;;) {
    uint32_t size = audio::kDeviceBlockBytes;
    uint8_t* block = stream.Read(&size, direction);
    if (block == nullptr) return true;
    uint32_t done = 0;
    const bool ok = out == nullptr || (out->Write(block, size, &done) && done == size);
    diag::TrackedDelete(block);
    if (!ok) return false;
  }
}

}  // namespace

int RunDecode(const Args& args) {
  const char* usage = "decode [--backward] IN.wav OUT.raw";
  bool backward = false;
  Args files;
  for (const std::string& arg : args) {
    if (arg == "--backward") {
      backward = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg, usage);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return UsageError("decode takes an input and an output file", usage);

  SafeOutput output(files[1]);
  if (!output.Prepare({files[0]}, false)) return 1;
  output.RemoveOnSignal();
  audio::WaveFileStream stream;
  if (!OpenForReading(stream, files[0])) return 1;
  platform::File out;
  if (!output.Open(&out)) return 1;
  bool ok;
  if (backward) {
    Drain(stream, audio::kReadForward, nullptr);  // to the end of the data
    ok = Drain(stream, audio::kReadBackward, &out);
  } else {
    ok = Drain(stream, audio::kReadForward, &out);
  }
  if (!ok) return FailWithLastError(files[1]);
  out.Close();
  return output.Commit() ? 0 : 1;
}

}  // namespace quillonwav
