#pragma once
// An audio stream over a WAV file: plain PCM, or GSM 6.10 frame pairs that
// it codes so that the device always sees 8000 Hz 16-bit mono PCM.
//
// Paths: a path starting with a backslash is a device path, such as
// "\My Documents\Quillon\Recording00.wav", mapped by the platform layer; a
// path starting with "/" is an absolute host path, for tools working on
// ordinary files.

#include <cstdint>
#include <string>

#include "audio/audio_stream.h"
#include "audio/gsm_codec.h"
#include "audio/wave_format_ex.h"

namespace audio {

class WaveFileStream : public IAudioStream {
 public:
  WaveFileStream();
  ~WaveFileStream() override;

  bool Open(const std::u16string& path, uint32_t flags) override;
  bool Close() override;
  uint8_t* Read(uint32_t* size, uint32_t direction) override;
  bool Write(const void* samples, uint32_t frames) override;
  uint32_t SetFormat(uint32_t formatId) override;
  const WaveFormatEx* GetFormat() override;
  bool ReadHeader() override;
  bool WriteHeader() override;
  uint32_t GetLengthFrames() override { return TotalFrames; }
  uint32_t GetPositionFrames() override { return PositionFrames; }
  uint32_t GetBlockAlign() override { return BlockAlign; }
  bool SeekPercent(int32_t percent) override;
  uint32_t GetLengthSeconds() override;
  uint32_t GetRecordedSeconds() override;
  uint32_t GetPositionSeconds() override;

  // Write in two halves, for a writer that codes on one thread and appends
  // on another, block after block in order (quillon-wav encode). CodeBlock
  // runs the codec (GSM: 320 samples into one pair) or takes the frames as
  // they are (PCM, at most one device block); AppendBlock appends the result
  // and brings the header up to date, as Write does. They share no state:
  // CodeBlock touches only the codec, AppendBlock only the file and counts.
  struct CodedBlock {
    uint32_t frames = 0;  // PCM frames; 0 for a GSM pair
    uint32_t bytes = 0;
    uint8_t data[kDeviceBlockBytes];
  };
  bool CodeBlock(const void* samples, uint32_t frames, CodedBlock* out);
  bool AppendBlock(const CodedBlock& block);

  // Read-only views for tools and diagnostics.
  uint32_t GetFormatId() const { return FormatId; }
  bool IsGsm() const { return FormatId == kFormatIdGsm; }
  const GsmWaveFormat& GetGsmFormat() const { return GsmFormat; }
  uint32_t GetDataBytes() const { return DataBytes; }
  uint32_t GetPairsRead() const { return PairsRead; }
  uint32_t GetEdgeState() const { return EdgeState; }
  const std::u16string& GetPath() const { return Path; }

 protected:
  static constexpr uint32_t kFormatIdGsm = 49;

  uint32_t OpenFlags = 0;
  uint32_t RiffSizePos = 0;
  uint32_t DataSizePos = 0;
  uint32_t EndPos = 0;
  uint32_t EdgeState = 0;
  uint32_t LastReadBytes = 0;
  GsmWaveFormat GsmFormat{};
  uint32_t FormatId = 0;
  GsmHandle Codec = nullptr;
  uint32_t PairsRead = 0;
  uint32_t PairsWritten = 0;
  uint32_t DataBytes = 0;

 private:
  // Reading: a regular file only (anything else fails with last error 0,
  // as a header that is not a WAV one). Writing: a new file where the name
  // is free, else the regular file there replaced in place; never through a
  // link. createdFile_ tells which.
  bool OpenFile(const std::u16string& path, bool write);
  // Removes the file Open made when its header could not be written.
  void RemoveCreatedFile(const std::u16string& path);
  uint8_t* ReadPcm(uint32_t* size, bool backward);
  uint8_t* ReadGsmForward(uint32_t* size);
  uint8_t* ReadGsmBackward(uint32_t* size);
  // Open for writing (with its codec for GSM); else EBADF.
  bool Writable() const;
  bool WritePcm(const void* samples, uint32_t frames);
  // Appends at EndPos, then rewrites the size fields; on any failure the
  // file is cut back to EndPos with its old sizes, so it stays valid.
  bool AppendAndPatch(const void* data, uint32_t bytes, uint64_t newDataSize);
  // The RIFF size, the GSM sample count and the data size, in one write of
  // the header from RiffSizePos to the end of the data size.
  bool PatchSizes(uint64_t dataSize);
  // RIFF size minus data size in the files this stream writes (36 or 52).
  uint32_t RiffOverhead() const;
  // A short read (the file ended early) fails with EIO.
  bool ReadExact(void* data, uint32_t size);
  bool CurrentPosition(int64_t* pos);
  void RestorePosition(int64_t pos);

  // The header as written, kept so that the size patches go out in one write.
  static constexpr uint32_t kMaxHeaderBytes = 60;
  uint8_t header_[kMaxHeaderBytes]{};
  uint32_t factPos_ = 0;  // where the GSM sample count lies; 0 for PCM
  bool createdFile_ = false;
};

}  // namespace audio
