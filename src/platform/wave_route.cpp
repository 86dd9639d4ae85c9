#include "platform/wave_route.h"

#include <mutex>

#include "platform/text.h"
#include "platform/wave_types.h"

namespace platform {

namespace {

struct Routes {
  std::mutex mutex;
  WaveRoute input;
  WaveRoute output;
  WaveApplication application;
};

Routes& State() {
  static Routes routes;
  return routes;
}

}  // namespace

void SetWaveRoute(bool input, const WaveRoute& route) {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  (input ? s.input : s.output) = route;
}

WaveRoute CurrentWaveRoute(bool input) {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return input ? s.input : s.output;
}

void SetWaveRouteDevice(bool input, const std::string& deviceId, const std::string& description) {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  WaveRoute& route = input ? s.input : s.output;
  route.deviceId = deviceId;
  route.description = description;
}

void SetWaveStreamName(bool input, const std::string& name) {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  (input ? s.input : s.output).streamName = name;
}

void SetWaveApplication(const WaveApplication& application) {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.application = application;
}

WaveApplication CurrentWaveApplication() {
  Routes& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.application;
}

std::u16string WaveDeviceProblemText(uint32_t code, bool input) {
  if (code != kWaveDeviceMissing && code != kWaveDeviceGone) return {};
  const WaveRoute route = CurrentWaveRoute(input);
  const std::string& name = !route.description.empty() ? route.description : route.deviceId;
  std::string text;
  if (code == kWaveDeviceMissing) {
    text = name.empty() ? (input ? "There is no device to record from." : "There is no device to play to.")
                        : "\"" + name + (input ? "\", the device to record from" : "\", the device to play to") +
                              ", is not connected. Connect it, or choose another one on the Audio page of the "
                              "settings.";
  } else {
    const std::string who = name.empty() ? (input ? "The default device to record from" : "The default device to play to")
                                         : "\"" + name + (input ? "\", the device recorded from," : "\", the device played to,");
    text = who + (input ? " disappeared. The recording stopped; it holds everything up to that moment."
                        : " disappeared. Playback stopped.");
  }
  return FromUtf8(text);
}

}  // namespace platform
