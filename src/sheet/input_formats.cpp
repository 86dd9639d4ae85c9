#include "sheet/input_formats.h"

#include "platform/wave_caps.h"
#include "platform/wave_device.h"
#include "platform/wave_route.h"

namespace sheet {

namespace {

bool Accepted(const platform::WaveFormat& format) {
  return platform::WaveInDevice::Query(platform::kWaveMapper, format) == platform::kWaveOk;
}

platform::WaveFormat GsmFormat() {
  // The 2 extra bytes (320 samples per block) follow the record; the query
  // looks at the fields before them.
  platform::WaveFormat format{};
  format.formatTag = platform::kWaveFormatGsm610;
  format.channels = 1;
  format.samplesPerSec = 8000;
  format.avgBytesPerSec = 1625;
  format.blockAlign = 65;
  format.bitsPerSample = 0;
  format.extraSize = 2;
  return format;
}

}  // namespace

int CountInputFormats() {
  // A chosen microphone that is not connected cannot be asked: the default
  // one answers for it meanwhile, so that the slider (and with it the format
  // the page writes back) does not shrink to nothing while it is unplugged.
  const platform::WaveRoute chosen = platform::CurrentWaveRoute(true);
  const bool missing =
      !chosen.deviceId.empty() && platform::WaveInDevice::Query(platform::kWaveMapper, GsmFormat()) ==
                                      platform::kWaveDeviceMissing;
  if (missing) platform::SetWaveRouteDevice(true, "", "");
  int count = 0;
  platform::WaveInCaps caps;
  if (platform::GetWaveInCaps(0, &caps) == platform::kWaveOk) {
    if (Accepted(platform::MakePcmFormat(8000, 8, 1))) ++count;
    if (Accepted(platform::MakePcmFormat(8000, 16, 1))) ++count;
    for (const uint32_t flag : {platform::kWaveFormat1M08, platform::kWaveFormat1M16,
                                platform::kWaveFormat2M08, platform::kWaveFormat2M16}) {
      if (caps.formats & flag) ++count;
    }
  }
  if (Accepted(GsmFormat())) ++count;
  if (missing) platform::SetWaveRouteDevice(true, chosen.deviceId, chosen.description);
  return count;
}

}  // namespace sheet
