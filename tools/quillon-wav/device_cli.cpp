#include "device_cli.h"

#include <atomic>

#include "platform/text.h"
#include "platform/wave_backend.h"
#include "platform/wave_route.h"

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

bool ChooseDevice(bool input, const std::string& id) {
  if (id.empty()) return true;
  std::string description = id;
  if (auto backend = platform::CurrentWaveBackend()) {
    for (const platform::WaveEndpoint& e : backend->Endpoints(input)) {
      if (e.id == id) description = e.description;
    }
  }
  platform::SetWaveRouteDevice(input, id, description);
  return true;
}

}  // namespace quillonwav
