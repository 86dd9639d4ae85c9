// quillon-wav record --format ID --seconds N [--vas THRESHOLD [--pre-roll MS]]
// [--amplify] [--device ID] OUT.wav: records from the default input device
// (or the one --device names) through the device layer, as the recorder
// does, for N seconds of wall time. With --vas only voiced stretches (the
// MS before each, 300 unless given, and the hang after them) are written;
// --amplify amplifies the input. Input the device lost is told after the
// recording. Ctrl-C (or SIGTERM) ends the recording early with a complete
// file.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "audio/app_flags.h"
#include "audio/format_presets.h"
#include "audio/meter_state.h"
#include "audio/wave_io.h"
#include "cli.h"
#include "commands.h"
#include "device_cli.h"
#include "platform/last_error.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "safe_output.h"
#include "settings/settings_record.h"

namespace quillonwav {

namespace {

const char* kUsage =
    "record --format ID --seconds N [--vas THRESHOLD [--pre-roll MS]] [--amplify] [--device ID] OUT.wav";

// A whole number in [low, high] from text.
bool ParseNumber(const std::string& text, unsigned long low, unsigned long high, uint32_t* value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || text[0] == '-' || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool KnownFormat(uint32_t id) {
  audio::WaveFormatEx pcm{};
  return id == audio::kFormatGsm610 || audio::PcmFormatForId(id, &pcm);
}

struct Options {
  uint32_t FormatId = 0;
  uint32_t Seconds = 0;
  bool Vas = false;
  uint32_t Threshold = 0;
  bool Amplify = false;
  uint32_t PreRollMs = audio::kDefaultPreRollMs;
  bool HavePreRoll = false;
  std::string Device;
  std::string Out;
};

// Returns 0 when the options are complete, else the usage error's exit code.
int ParseOptions(const Args& args, Options* options) {
  bool haveFormat = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue =
        arg == "--format" || arg == "--seconds" || arg == "--vas" || arg == "--pre-roll" || arg == "--device";
    if (takesValue && i + 1 == args.size()) return UsageError(arg + " needs a value", kUsage);
    if (arg == "--format") {
      if (!ParseNumber(args[++i], 1, 0xFFFFFFFFul, &options->FormatId) || !KnownFormat(options->FormatId)) {
        return UsageError("unknown format identifier " + args[i], kUsage);
      }
      haveFormat = true;
    } else if (arg == "--seconds") {
      if (!ParseNumber(args[++i], 1, 24 * 3600, &options->Seconds)) {
        return UsageError("--seconds needs a whole number of seconds from 1 to 86400", kUsage);
      }
    } else if (arg == "--vas") {
      if (!ParseNumber(args[++i], 0, 100, &options->Threshold)) {
        return UsageError("--vas needs a threshold percent from 0 to 100", kUsage);
      }
      options->Vas = true;
    } else if (arg == "--pre-roll") {
      if (!ParseNumber(args[++i], 0, audio::kMaxPreRollMs, &options->PreRollMs) ||
          options->PreRollMs % audio::kPreRollStepMs != 0) {
        return UsageError("--pre-roll needs milliseconds from 0 to 1000 in steps of 100", kUsage);
      }
      options->HavePreRoll = true;
    } else if (arg == "--device") {
      options->Device = args[++i];
      if (options->Device.empty()) return UsageError("--device needs an id", kUsage);
    } else if (arg == "--amplify") {
      options->Amplify = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg, kUsage);
    } else if (options->Out.empty()) {
      options->Out = arg;
    } else {
      return UsageError("record takes one output file", kUsage);
    }
  }
  if (!haveFormat) return UsageError("--format is required", kUsage);
  if (options->Seconds == 0) return UsageError("--seconds is required", kUsage);
  if (options->Out.empty()) return UsageError("record needs an output file", kUsage);
  if (options->HavePreRoll && !options->Vas) return UsageError("--pre-roll goes with --vas", kUsage);
  return 0;
}

}  // namespace

int RunRecord(const Args& args) {
  Options options;
  if (int usage = ParseOptions(args, &options)) return usage;
  const std::string& name = options.Out;

  // The stream outlives the device layer, which is closed first.
  audio::WaveFileStream stream;
  stream.SetFormat(options.FormatId);
  DeviceSession session(&stream);
  session.meter.Threshold = static_cast<uint16_t>(options.Threshold);
  settings::WriteAmplifyInput(session.settings, options.Amplify ? 1 : 0);
  audio::WaveIO& io = session.io;
  io.PreRollMs = options.PreRollMs;
  // The desktop shows the output's name, not the temporary one's.
  io.StreamName = std::filesystem::path(name).stem().string();
  uint32_t& deviceId = session.deviceId;
  ChooseDevice(true, options.Device);

  // The device first: when there is none, no file is left behind.
  if (!io.Open(audio::WaveDirection::Input)) return Fail(name, DeviceErrorText(io, "the input device cannot be opened."));
  if (!io.QueryInputFormat(&deviceId, &stream)) {
    io.Close();
    return Fail(name, "Format not support");
  }
  // The recording goes under a temporary name and takes the output's place
  // at the end; a recording cut short by a failure is put there too, as it
  // holds what was recorded.
  SafeOutput output(name);
  if (!output.Prepare({}, true)) {
    io.Close();
    return 1;
  }
  platform::SetLastError(0);
  if (!stream.Open(EnginePath(output.WritePath()), audio::kStreamWrite)) {
    io.Close();
    return FailWithLastError(name);
  }

  StopSignals signals;
  audio::VasEnabled = options.Vas ? 1 : 0;
  audio::RecordingActive = 1;
  if (!io.StartRecording(nullptr)) {
    const std::string text = DeviceErrorText(io, "recording cannot start.");
    io.Close();
    audio::RecordingActive = 0;
    audio::VasEnabled = 0;
    stream.Close();  // it holds nothing: the temporary file goes
    return Fail(name, text);
  }

  // With no meter to draw, every data wake-up takes the measured level as
  // seen (clears Dirty). The callback measures a buffer, then sets DataEvent,
  // then decides on voice activation by that level; clearing Dirty here, long
  // before the next buffer arrives (14 to 80 ms later), lets every buffer be
  // measured, and so judged, by its own level. A stop ends the loop early:
  // the device failed or a write failed.
  platform::Event* events[] = {&io.DataEvent, &io.StopEvent};
  const uint32_t start = platform::TickCount();
  const uint32_t duration = options.Seconds * 1000;
  bool stopped = false;
  while (!StopSignals::StopRequested()) {
    const uint32_t elapsed = platform::TickCount() - start;
    if (elapsed >= duration) break;
    const int woken = platform::WaitAny(events, 2, std::min<uint32_t>(duration - elapsed, 100));
    if (woken == 0) session.meter.Dirty = false;
    if (woken == 1) {
      stopped = true;
      break;
    }
  }

  const std::string deviceText = DeviceErrorText(io, "recording stopped.");
  // Closing hands back the buffers still in the device; their samples are written.
  const bool closed = io.Close();
  const std::string closeText = closed ? "" : DeviceErrorText(io, "the input device cannot be closed.");
  audio::RecordingActive = 0;
  audio::VasEnabled = 0;
  stream.Close();
  if (!output.Commit()) return 1;

  if (io.WriteFailed) {
    std::string text = platform::ToUtf8(platform::SystemErrorText(io.WriteError));
    if (text.empty()) text = "Unknown error: " + std::to_string(io.WriteError.load());
    return Fail(name, "IAudioStream::Write(): failed: " + text);
  }
  if (stopped) return Fail(name, deviceText);
  if (!closed) return Fail(name, closeText);
  std::printf("%s: %s recorded\n", name.c_str(), FormatSeconds(stream.GetRecordedSeconds()).c_str());
  // The file is complete as far as it goes; what the device lost is said.
  const std::u16string lost = audio::LostInputText(io.LostInputMs());
  if (!lost.empty()) std::fprintf(stderr, "quillon-wav: %s: %s\n", name.c_str(), platform::ToUtf8(lost).c_str());
  return 0;
}

}  // namespace quillonwav
