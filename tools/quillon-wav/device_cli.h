#pragma once
// What the device commands (play, record) share: ending cleanly on Ctrl-C or
// SIGTERM, and the device layer's error text for a message.

#include <csignal>
#include <string>

#include "audio/wave_io.h"

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

// The device layer's text for its last error, or `fallback` when it has none.
std::string DeviceErrorText(audio::WaveIO& io, const char* fallback);

}  // namespace quillonwav
