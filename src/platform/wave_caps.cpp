#include "platform/wave_caps.h"

#include "platform/wave_device.h"

namespace platform {

namespace {

struct StandardFormat {
  uint32_t flag;
  uint32_t rate;
  uint16_t channels;
  uint16_t bits;
};

constexpr StandardFormat kStandardFormats[] = {
    {kWaveFormat1M08, 11025, 1, 8},  {kWaveFormat1S08, 11025, 2, 8},  {kWaveFormat1M16, 11025, 1, 16},
    {kWaveFormat1S16, 11025, 2, 16}, {kWaveFormat2M08, 22050, 1, 8},  {kWaveFormat2S08, 22050, 2, 8},
    {kWaveFormat2M16, 22050, 1, 16}, {kWaveFormat2S16, 22050, 2, 16}, {kWaveFormat4M08, 44100, 1, 8},
    {kWaveFormat4S08, 44100, 2, 8},  {kWaveFormat4M16, 44100, 1, 16}, {kWaveFormat4S16, 44100, 2, 16},
};

}  // namespace

WaveResult GetWaveInCaps(uint32_t deviceId, WaveInCaps* caps) {
  if (caps == nullptr) return kWaveInvalidParam;
  WaveInCaps found;
  for (const StandardFormat& format : kStandardFormats) {
    const WaveResult r =
        WaveInDevice::Query(deviceId, MakePcmFormat(format.rate, format.bits, format.channels));
    if (r == kWaveOk) {
      found.formats |= format.flag;
      if (format.channels > found.channels) found.channels = format.channels;
    } else if (r != kWaveBadFormat) {
      return r;  // the device could not be asked
    }
  }
  *caps = found;
  return kWaveOk;
}

}  // namespace platform
