#pragma once
// The connection to the desktop's sound server (PulseAudio, or PipeWire
// through pipewire-pulse): libpulse's main loop on its own thread, one context that
// carries the program's name and icon, and the server's sinks and sources
// as they come and go, with the defaults. Private to the libpulse backend.

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pulse_loop.h"
#include "platform/wave_backend.h"

namespace platform::pulse {

struct Device {
  std::string name;         // the server's id ("alsa_input.usb-...")
  std::string description;  // "USB Headset Mono"
  bool monitor = false;     // a sink's monitor: not a microphone
};

class Context {
 public:
  // Connected, with the device lists read, or null when no server answers
  // within `timeoutMs`.
  static std::unique_ptr<Context> Connect(uint32_t timeoutMs);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  pulse::Loop& Loop() const { return *loop_; }
  pa_context* Raw() const { return context_; }
  // Needs the loop's lock.
  bool AliveLocked() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

  // Whether the server knows a device of that direction by that name
  // (monitors included). Any thread.
  bool HasDevice(bool input, const std::string& name) const;
  // The devices shown to the user (no monitors), the default marked.
  std::vector<WaveEndpoint> Endpoints(bool input) const;
  // Called on the loop's thread (with its lock held) after every change of
  // the lists; set before the first change can come, or cleared, under the
  // listener's own lock.
  void SetListener(std::function<void()> changed);

  // With the loop's lock held: waits until `done` holds, the context fails,
  // or `timeoutMs` passes; true when `done` held.
  bool WaitLocked(const std::function<bool()>& done, uint32_t timeoutMs);
  // Runs the operation to its end (with the lock held); false on a timeout.
  bool FinishLocked(pa_operation* operation, uint32_t timeoutMs);

 private:
  Context() = default;
  static void OnState(pa_context* c, void* self);
  static void OnEvent(pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* self);
  static void OnServer(pa_context* c, const pa_server_info* info, void* self);
  static void OnSink(pa_context* c, const pa_sink_info* info, int eol, void* self);
  static void OnSource(pa_context* c, const pa_source_info* info, int eol, void* self);
  // Asks for the lists again; watchers hear of it once all three are in.
  void RefreshLocked();
  void Published();

  std::unique_ptr<pulse::Loop> loop_;
  pa_context* context_ = nullptr;

  // Filled on the loop's thread while a refresh runs, then published.
  int pending_ = 0;
  bool again_ = false;
  std::vector<Device> newSinks_, newSources_;
  std::string newDefaultSink_, newDefaultSource_;

  mutable std::mutex listMutex_;
  std::vector<Device> sinks_, sources_;
  std::string defaultSink_, defaultSource_;
  bool listed_ = false;

  std::mutex listenerMutex_;
  std::function<void()> listener_;
};

}  // namespace platform::pulse
