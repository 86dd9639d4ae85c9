#pragma once
// The source of playback data and the sink of recorded data for the device
// layer. The virtual operations keep their slot order: callers and the device
// layer rely on it.

#include <cstdint>
#include <string>

#include "audio/wave_format_ex.h"
#include "diag/tracker.h"
#include "platform/file.h"

namespace audio {

// Open flags.
inline constexpr uint32_t kStreamRead = 1;
inline constexpr uint32_t kStreamWrite = 2;

// Read directions (2 reads forward as well).
inline constexpr uint32_t kReadForward = 0;
inline constexpr uint32_t kReadBackward = 1;
inline constexpr uint32_t kReadForwardScan = 2;

// Where reading stands in the data.
inline constexpr uint32_t kEdgeInside = 0;
inline constexpr uint32_t kEdgeStart = 1;
inline constexpr uint32_t kEdgeEnd = 2;

// Streams live on the heap through the allocation tracker.
class IAudioStream : public diag::Tracked {
 public:
  IAudioStream();
  IAudioStream(const IAudioStream&) = delete;
  IAudioStream& operator=(const IAudioStream&) = delete;

  /* 0 */ virtual ~IAudioStream();
  // Opens (kStreamRead) or creates (kStreamWrite) the file at path.
  /* 1 */ virtual bool Open(const std::u16string& path, uint32_t flags) = 0;
  /* 2 */ virtual bool Close() = 0;
  // A new block of *size bytes (updated to what was delivered), released by
  // the caller with diag::TrackedDelete; null at the end of the data or on failure.
  /* 3 */ virtual uint8_t* Read(uint32_t* size, uint32_t direction) = 0;
  /* 4 */ virtual bool Write(const void* samples, uint32_t frames) = 0;
  /* 5 */ virtual uint32_t SetFormat(uint32_t formatId) = 0;
  // The format the device plays or records.
  /* 6 */ virtual const WaveFormatEx* GetFormat();
  /* 7 */ virtual bool ReadHeader() = 0;
  /* 8 */ virtual bool WriteHeader() = 0;
  /* 9 */ virtual uint32_t GetLengthFrames() = 0;
  /* 10 */ virtual uint32_t GetPositionFrames() = 0;
  /* 11 */ virtual uint32_t GetBlockAlign() = 0;
  /* 12 */ virtual bool SeekPercent(int32_t percent) = 0;
  /* 13 */ virtual uint32_t GetLengthSeconds() = 0;
  /* 14 */ virtual uint32_t GetRecordedSeconds() = 0;
  /* 15 */ virtual uint32_t GetPositionSeconds() = 0;

 protected:
  WaveFormatEx StreamFormat{};
  uint32_t TotalFrames = 0;
  uint32_t PositionFrames = 0;
  uint32_t BlockAlign = 0;
  platform::File FileHandle;  // invalid while closed
  std::u16string Path;
};

}  // namespace audio
