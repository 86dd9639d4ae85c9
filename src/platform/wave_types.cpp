#include "platform/wave_types.h"

namespace platform {

std::u16string WaveErrorText(uint32_t code) {
  switch (code) {
    case kWaveOk: return u"The sound device reported no error.";
    case kWaveError: return u"An unspecified error occurred in the sound device.";
    case kWaveBadDeviceId: return u"The sound device identifier is out of range; no such device is present.";
    case kWaveAllocated: return u"The sound device is already in use.";
    case kWaveInvalidHandle: return u"The sound device handle is not valid.";
    case kWaveNoDriver: return u"No sound device driver is present.";
    case kWaveNoMemory: return u"There is not enough memory for the sound device.";
    case kWaveInvalidParam: return u"An invalid parameter was passed to the sound device.";
    case kWaveHandleBusy: return u"The sound device is in use by its own callback.";
    case kWaveBadFormat: return u"The sound device does not support this wave format.";
    case kWaveStillPlaying: return u"The sound device still has buffers queued.";
    case kWaveUnprepared: return u"The sound buffer has not been prepared.";
    case kWaveDeviceMissing: return u"The chosen sound device is not connected.";
    case kWaveDeviceGone: return u"The sound device disappeared.";
    default: return std::u16string();
  }
}

uint32_t WaveBytesPerSecond(const WaveFormat& format) {
  return format.samplesPerSec * format.blockAlign;
}

WaveResult CheckPcmFormat(const WaveFormat& format) {
  if (format.formatTag != kWaveFormatPcm) return kWaveBadFormat;
  if (format.channels != 1 && format.channels != 2) return kWaveBadFormat;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return kWaveBadFormat;
  if (format.blockAlign != format.channels * format.bitsPerSample / 8) return kWaveBadFormat;
  if (format.samplesPerSec < 1000 || format.samplesPerSec > 384000) return kWaveBadFormat;
  return kWaveOk;
}

WaveFormat MakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels) {
  WaveFormat f{};
  f.formatTag = kWaveFormatPcm;
  f.channels = channels;
  f.samplesPerSec = samplesPerSec;
  f.bitsPerSample = bitsPerSample;
  f.blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  f.avgBytesPerSec = samplesPerSec * f.blockAlign;
  f.extraSize = 0;
  return f;
}

}  // namespace platform
