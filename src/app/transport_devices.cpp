#include "app/transport_devices.h"

#include <string>

#include "app/transport.h"
#include "audio/device_choice.h"
#include "diag/show_error.h"
#include "platform/wave_route.h"

namespace app {

bool EndOnLostDevice(CTransport& transport) {
  audio::WaveIO& io = transport.AudioIO;
  if (!io.DeviceGone() || io.Direction == audio::WaveDirection::None) return false;
  const bool input = io.Direction == audio::WaveDirection::Input;
  const std::u16string text = platform::WaveDeviceProblemText(platform::kWaveDeviceGone, input);
  // The file holds everything up to the moment the device went.
  transport.Stop(1);
  diag::ShowError(transport.Owner, text.c_str(), 0);
  return true;
}

void ReportLostInput(CTransport& transport) {
  const std::u16string text = audio::LostInputText(transport.AudioIO.LostInputMs());
  if (!text.empty()) diag::ShowError(transport.Owner, text.c_str(), 0);
}

}  // namespace app
