#pragma once
// What the device commands (play, record) share: ending cleanly on Ctrl-C or
// SIGTERM, and the device layer's error text for a message.

#include <csignal>
#include <string>

#include "audio/wave_io.h"
#include "platform/wave_types.h"
#include "settings/settings_record.h"

namespace quillonwav {

// Routes SIGINT and SIGTERM to a flag while alive; the previous handlers
// come back afterwards. The handler only sets the flag: the command's loop
// polls StopRequested() and closes the device and the file itself.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  static bool StopRequested();

 private:
  struct sigaction oldInterrupt_ {};
  struct sigaction oldTerminate_ {};
};

// The device layer with what the program would give it: the default device,
// a format slot, a meter nobody draws and the settings record. Declared after
// the stream it plays or records, so that it closes first.
struct DeviceSession {
  explicit DeviceSession(audio::IAudioStream* stream) {
    io.Stream = stream;
    io.DeviceId = &deviceId;
    io.FormatSlot = &deviceFormat;
    io.LevelMeter = &meter;
    io.Settings = &settings;
  }
  uint32_t deviceId = platform::kWaveMapper;
  const audio::WaveFormatEx* deviceFormat = nullptr;
  audio::MeterState meter;
  settings::SettingsRecord settings{};
  audio::WaveIO io;  // last: closed before the fields it points at go
};

// The device layer's text for its last error, or `fallback` when it has none.
std::string DeviceErrorText(audio::WaveIO& io, const char* fallback);

// --device ID: the device of that direction the next opening uses, named
// by its description in messages; an empty id keeps the default.
bool ChooseDevice(bool input, const std::string& id);

}  // namespace quillonwav
