#include "app/transport_devices.h"

#include <string>

#include "app/transport.h"
#include "audio/app_flags.h"
#include "audio/device_choice.h"
#include "diag/show_error.h"
#include "platform/wave_route.h"

namespace app {

bool EndOnLostDevice(CTransport& transport) {
  audio::WaveIO& io = transport.AudioIO;
  if (!io.DeviceGone() || io.Direction == audio::WaveDirection::None) return false;
  const bool input = io.Direction == audio::WaveDirection::Input;
  // Voice activation listening with no recording: nothing stopped that the
  // user made. Stop listens again, to the desktop's new default or, for a
  // chosen device, says it is not connected: that is the one word needed.
  const bool listening = input && audio::RecordingActive == 0;
  const std::u16string text = platform::WaveDeviceProblemText(platform::kWaveDeviceGone, input);
  // The file holds everything up to the moment the device went.
  transport.Stop(1);
  if (!listening) diag::ShowError(transport.Owner, text.c_str(), 0);
  return true;
}

void ReportLostInput(CTransport& transport) {
  const std::u16string text = audio::LostInputText(transport.AudioIO.LostInputMs());
  if (!text.empty()) diag::ShowError(transport.Owner, text.c_str(), 0);
}

}  // namespace app
