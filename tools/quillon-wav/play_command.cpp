// quillon-wav play FILE [--quiet] [--speed S] [--device ID]: plays a WAV file
// to its end on the default output device (or the one --device names, see
// `devices`) through the device layer, as the player does (at another speed
// with the pitch kept), printing "position/length" in the file's time once a
// second. Ctrl-C (or SIGTERM) stops it cleanly.

#include <cstdio>

#include "audio/meter_state.h"
#include "audio/playback_speed.h"
#include "audio/wave_io.h"
#include "cli.h"
#include "commands.h"
#include "device_cli.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "settings/settings_record.h"

namespace quillonwav {

namespace {

const char* kUsage = "play FILE [--quiet] [--speed S] [--device ID]";

void PrintProgress(const audio::WaveIO& io) {
  std::printf("%s/%s\n", FormatSeconds(io.GetPositionSeconds()).c_str(), FormatSeconds(io.GetLengthSeconds()).c_str());
  std::fflush(stdout);
}

}  // namespace

int RunPlay(const Args& args) {
  bool quiet = false;
  uint32_t speed = audio::kNormalSpeed;
  std::string device;
  Args files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--speed" || arg.rfind("--speed=", 0) == 0) {
      if (arg == "--speed" && i + 1 == args.size()) return UsageError("--speed needs a speed", kUsage);
      const std::string value = arg == "--speed" ? args[++i] : arg.substr(8);
      speed = audio::ParsePlaybackSpeed(value);
      if (speed == 0) return UsageError("unknown speed " + value + " (0.5, 0.75, 1, 1.25, 1.5 or 2)", kUsage);
    } else if (arg == "--device") {
      if (i + 1 == args.size() || args[i + 1].empty()) return UsageError("--device needs an id", kUsage);
      device = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg, kUsage);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1) return UsageError("play takes one file", kUsage);
  const std::string& name = files[0];

  // The stream outlives the device layer, which is closed first.
  audio::WaveFileStream stream;
  if (!OpenForReading(stream, name)) return 1;
  ChooseDevice(false, device);
  DeviceSession session(&stream);
  audio::WaveIO& io = session.io;
  uint32_t& deviceId = session.deviceId;
  io.SetPlaybackSpeed(speed);

  if (!io.Open(audio::WaveDirection::Output)) return Fail(name, DeviceErrorText(io, "the output device cannot be opened."));
  if (!io.QueryOutputFormat(&deviceId, &stream)) {
    io.Close();
    return Fail(name, "Format not support.");
  }
  StopSignals signals;
  if (!io.StartPlayback()) {
    const std::string text = DeviceErrorText(io, "playback cannot start.");
    io.Close();
    return Fail(name, text);
  }

  // The data wake-ups stand in for the meter's drawing: each one takes the
  // measured level as seen, so the next buffer is measured afresh. A stop
  // ends the loop: the data ran out (Finished) or the device failed.
  platform::Event* events[] = {&io.DataEvent, &io.StopEvent};
  uint32_t nextPrint = platform::TickCount() + 1000;
  bool stopped = false;
  while (!StopSignals::StopRequested()) {
    const int woken = platform::WaitAny(events, 2, 100);
    if (woken == 0) session.meter.Dirty = false;
    if (woken == 1) {
      stopped = true;
      break;
    }
    if (!quiet && static_cast<int32_t>(platform::TickCount() - nextPrint) >= 0) {
      PrintProgress(io);
      nextPrint += 1000;
    }
  }

  const bool finished = io.Finished != 0;
  const std::string failure = DeviceErrorText(io, "playback stopped before the end.");
  if (!quiet) PrintProgress(io);
  if (!io.Close()) return Fail(name, DeviceErrorText(io, "the output device cannot be closed."));
  if (stopped && !finished) return Fail(name, failure);
  return 0;
}

}  // namespace quillonwav
