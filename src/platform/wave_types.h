#pragma once
// Plain data shared by every waveform device: the 18-byte format record,
// buffer headers, messages, result codes and their texts.

#include <cstdint>
#include <string>

namespace platform {

#pragma pack(push, 1)
// Byte-for-byte the classic wave format record, so it converts with memcpy.
struct WaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WaveFormat must stay 18 bytes");

inline constexpr uint16_t kWaveFormatPcm = 0x0001;
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;

// The device id that means "whichever device suits"; 0 names the default
// device as well, since there is only one of each direction.
inline constexpr uint32_t kWaveMapper = 0xFFFFFFFFu;

// A buffer handed to a device. The caller owns it and the data; the device
// only borrows both between write/add and the completion callback.
struct WaveHeader {
  char* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  uintptr_t user = 0;
  uint32_t flags = 0;
  uint32_t loops = 0;
  WaveHeader* next = nullptr;
  uintptr_t reserved = 0;
};

inline constexpr uint32_t kWaveHeaderDone = 0x01;
inline constexpr uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr uint32_t kWaveHeaderInQueue = 0x10;

// Callback messages.
inline constexpr uint32_t kWaveOutOpen = 0x3BB;
inline constexpr uint32_t kWaveOutClose = 0x3BC;
inline constexpr uint32_t kWaveOutDone = 0x3BD;
inline constexpr uint32_t kWaveInOpen = 0x3BE;
inline constexpr uint32_t kWaveInClose = 0x3BF;
inline constexpr uint32_t kWaveInData = 0x3C0;

// Result codes, with the classic values.
enum WaveResult : uint32_t {
  kWaveOk = 0,
  kWaveError = 1,            // unspecified failure (a backend write or read failed)
  kWaveBadDeviceId = 2,
  kWaveAllocated = 4,        // the device is busy elsewhere
  kWaveInvalidHandle = 5,
  kWaveNoDriver = 6,
  kWaveNoMemory = 7,
  kWaveInvalidParam = 11,
  kWaveHandleBusy = 12,      // e.g. closing a device from its own callback
  kWaveBadFormat = 32,
  kWaveStillPlaying = 33,
  kWaveUnprepared = 34,
  // Beyond the classic codes: a chosen device that is not there at open, and
  // one that went away while open (unplugged, its server module unloaded).
  kWaveDeviceMissing = 40,
  kWaveDeviceGone = 41,
};

// The text for a code, or an empty string when the code is not one of ours.
std::u16string WaveErrorText(uint32_t code);

// Bytes per second actually consumed by a PCM format: rate x block align.
// (The avgBytesPerSec field is not trusted: scanning doubles the rate alone.)
uint32_t WaveBytesPerSecond(const WaveFormat& format);

// kWaveOk when the format is PCM the devices can carry (8-bit unsigned or
// 16-bit signed, mono or stereo, consistent block align, a positive rate).
WaveResult CheckPcmFormat(const WaveFormat& format);

// Convenience for PCM formats with avgBytesPerSec and blockAlign filled in.
WaveFormat MakePcmFormat(uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels);

}  // namespace platform
