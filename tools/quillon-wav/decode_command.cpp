// quillon-wav decode [--backward | --speed S] IN.wav OUT.raw: the device-side
// bytes that playback sends, block by block as Read delivers them. Backward
// starts at the end of the data and gives the blocks in reverse order, each
// with its samples in forward order, as scanning backward plays them. At
// another speed the blocks go through the same stretcher as playback.

#include <cstdio>
#include <memory>

#include "audio/playback_speed.h"
#include "audio/time_stretch.h"
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
// With a stretcher, the blocks it makes of the stream's.
bool Drain(audio::WaveFileStream& stream, uint32_t direction, platform::File* out,
           audio::TimeStretch* stretch = nullptr) {
  for (;;) {
    uint32_t size = audio::kDeviceBlockBytes;
    uint8_t* block = stretch != nullptr ? stretch->Read(&stream, &size) : stream.Read(&size, direction);
    if (block == nullptr) return true;
    uint32_t done = 0;
    const bool ok = out == nullptr || (out->Write(block, size, &done) && done == size);
    diag::TrackedDelete(block);
    if (!ok) return false;
  }
}

}  // namespace

int RunDecode(const Args& args) {
  const char* usage = "decode [--backward | --speed S] IN.wav OUT.raw";
  bool backward = false;
  uint32_t speed = audio::kNormalSpeed;
  Args files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--backward") {
      backward = true;
    } else if (arg == "--speed" || arg.rfind("--speed=", 0) == 0) {
      if (arg == "--speed" && i + 1 == args.size()) return UsageError("--speed needs a speed", usage);
      const std::string value = arg == "--speed" ? args[++i] : arg.substr(8);
      speed = audio::ParsePlaybackSpeed(value);
      if (speed == 0) return UsageError("unknown speed " + value + " (0.5, 0.75, 1, 1.25, 1.5 or 2)", usage);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg, usage);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) return UsageError("decode takes an input and an output file", usage);
  if (backward && speed != audio::kNormalSpeed) {
    return UsageError("--backward plays as the scan does, at double rate: it takes no --speed", usage);
  }

  SafeOutput output(files[1]);
  if (!output.Prepare({files[0]}, false)) return 1;
  output.RemoveOnSignal();
  audio::WaveFileStream stream;
  if (!OpenForReading(stream, files[0])) return 1;
  platform::File out;
  if (!output.Open(&out)) return 1;
  bool ok;
  std::unique_ptr<audio::TimeStretch> stretch;
  if (speed != audio::kNormalSpeed) {
    stretch = audio::TimeStretch::Create(*stream.GetFormat());
    if (!stretch) return Fail(files[0], "this format cannot be played at another speed.");
    stretch->SetSpeed(speed);
  }
  if (stretch) {
    ok = Drain(stream, audio::kReadForward, &out, stretch.get());
    if (ok && !stretch->Drained()) return FailWithLastError(files[0]);
  } else if (backward) {
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
