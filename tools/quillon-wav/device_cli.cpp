#include "device_cli.h"

#include <atomic>

#include "platform/text.h"

namespace quillonwav {

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RequestStop(int) { g_stopRequested.store(true); }

}  // namespace

StopSignals::StopSignals() {
  g_stopRequested = false;
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &oldInterrupt_);
  sigaction(SIGTERM, &action, &oldTerminate_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &oldInterrupt_, nullptr);
  sigaction(SIGTERM, &oldTerminate_, nullptr);
}

bool StopSignals::StopRequested() { return g_stopRequested.load(); }

std::string DeviceErrorText(audio::WaveIO& io, const char* fallback) {
  const char16_t* text = io.GetErrorText();
  return text != nullptr ? platform::ToUtf8(text) : fallback;
}

}  // namespace quillonwav
