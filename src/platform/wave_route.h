#pragma once
// Where the devices of each direction open, and what they are called there.
// One input and one output at a time, as the program has them: the owner
// sets the route before it opens a device, and every device opened from
// then on uses it. A device id the backend does not know is "missing"; the
// description names it in messages even then.

#include <cstdint>
#include <string>

namespace platform {

struct WaveRoute {
  std::string deviceId;     // the backend's id; empty: the desktop's default, followed as it changes
  std::string description;  // what the user chose it as ("USB Headset Mono")
  std::string streamName;   // what the desktop's volume control calls the stream ("Recording00")
};

// Any thread.
void SetWaveRoute(bool input, const WaveRoute& route);
WaveRoute CurrentWaveRoute(bool input);
// Only the device part (the stream name stays), or only the name.
void SetWaveRouteDevice(bool input, const std::string& deviceId, const std::string& description);
void SetWaveStreamName(bool input, const std::string& name);

// The program's name and icon as the desktop shows them beside its streams;
// read when a backend first reaches the sound server.
struct WaveApplication {
  std::string name = "Quillon";
  std::string id = "quillon";       // the desktop entry's name
  std::string iconName = "quillon";
};
void SetWaveApplication(const WaveApplication& application);
WaveApplication CurrentWaveApplication();

// The message for a device that is missing (kWaveDeviceMissing) or went away
// (kWaveDeviceGone), naming the route's device; empty for any other code.
std::u16string WaveDeviceProblemText(uint32_t code, bool input);

}  // namespace platform
