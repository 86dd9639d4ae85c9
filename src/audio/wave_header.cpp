// The RIFF WAVE header of a WaveFileStream: written when a recording is
// created, parsed when a file is opened for playback.

#include <algorithm>
#include <cstring>

#include "audio/riff_bytes.h"
#include "audio/wave_file_stream.h"
#include "platform/last_error.h"

namespace audio {

namespace {

constexpr uint32_t kGsmHeaderBytes = 60;

// A header this program does not play: no system error goes with it.
bool Reject() {
  platform::SetLastError(0);
  return false;
}

uint32_t OddPad(uint64_t size) { return static_cast<uint32_t>(size & 1); }

}  // namespace

bool WaveFileStream::WriteHeader() {
  const bool gsm = IsGsm();
  BlockAlign = gsm ? kGsmPairBytes : StreamFormat.BlockAlign;
  const uint32_t fmtSize = gsm ? GsmFormat.Format.ExtraSize + 18u : 16u;
  const uint32_t dataSize = BlockAlign * TotalFrames;

  static_assert(kGsmHeaderBytes == kMaxHeaderBytes);
  uint8_t* header = header_;
  std::memset(header, 0, kMaxHeaderBytes);
  uint8_t* p = header;
  PutTag(p, "RIFF");
  PutLe32(p + 4, (gsm ? 20 + fmtSize + 12 : 20 + fmtSize) + dataSize);
  PutTag(p + 8, "WAVE");
  PutTag(p + 12, "fmt ");
  PutLe32(p + 16, fmtSize);
  const WaveFormatEx& f = gsm ? GsmFormat.Format : StreamFormat;
  PutLe16(p + 20, f.FormatTag);
  PutLe16(p + 22, f.Channels);
  PutLe32(p + 24, f.SamplesPerSec);
  PutLe32(p + 28, f.AvgBytesPerSec);
  PutLe16(p + 32, f.BlockAlign);
  PutLe16(p + 34, f.BitsPerSample);
  p += 36;
  if (gsm) {
    PutLe16(p, f.ExtraSize);
    PutLe16(p + 2, GsmFormat.SamplesPerBlock);
    // The number of samples, kept with the sizes: readers take a
    // compressed file's length from it.
    PutTag(p + 4, "fact");
    PutLe32(p + 8, 4);
    PutLe32(p + 12, dataSize / kGsmPairBytes * GsmFormat.SamplesPerBlock);
    factPos_ = static_cast<uint32_t>(p + 12 - header);
    p += 16;
  } else {
    factPos_ = 0;
  }
  PutTag(p, "data");
  PutLe32(p + 4, dataSize);
  const uint32_t headerBytes = static_cast<uint32_t>(p + 8 - header);

  uint32_t done = 0;
  if (!FileHandle.Write(header, headerBytes, &done) || done != headerBytes) return false;
  RiffSizePos = 4;
  DataSizePos = headerBytes - 4;
  EndPos = headerBytes;

  if (gsm) {
    DestroyGsmCodec(Codec);
    Codec = CreateGsmCodec();
    if (Codec == nullptr) return false;
    DataBytes = dataSize;
  }
  return true;
}

bool WaveFileStream::ReadHeader() {
  uint8_t head[12];
  if (!ReadExact(head, sizeof head)) return Reject();
  if (!IsTag(head, "RIFF")) return Reject();
  RiffSizePos = 4;  // the RIFF size itself is not used
  if (!IsTag(head + 8, "WAVE")) return Reject();

  // The fmt chunk must come first.
  uint8_t fmtHead[8];
  if (!ReadExact(fmtHead, sizeof fmtHead) || !IsTag(fmtHead, "fmt ")) return Reject();
  const uint32_t fmtSize = GetLe32(fmtHead + 4);
  if (fmtSize < 16) return Reject();
  uint8_t fmt[16];
  if (!ReadExact(fmt, sizeof fmt)) return Reject();
  WaveFormatEx format{};
  format.FormatTag = GetLe16(fmt);
  format.Channels = GetLe16(fmt + 2);
  format.SamplesPerSec = GetLe32(fmt + 4);
  format.AvgBytesPerSec = GetLe32(fmt + 8);
  format.BlockAlign = GetLe16(fmt + 12);
  format.BitsPerSample = GetLe16(fmt + 14);
  uint64_t remaining = fmtSize - 16;

  uint16_t samplesPerBlock = 0;
  if (format.FormatTag == kWaveFormatPcm) {
    FormatId = 1;
  } else if (format.FormatTag == kWaveFormatGsm610) {
    FormatId = kFormatIdGsm;
    uint8_t word[2];
    if (remaining > 1) {
      if (!ReadExact(word, 2)) return Reject();
      format.ExtraSize = GetLe16(word);
      remaining -= 2;
    }
    if (format.ExtraSize < 2 || format.ExtraSize > remaining) return Reject();
    if (!ReadExact(word, 2)) return Reject();
    samplesPerBlock = GetLe16(word);
    remaining -= 2;
  } else {
    return Reject();
  }

  // Walk the chunks to "data". RIFF pads odd-sized chunks with one byte,
  // which other writers rely on.
  int64_t pos = 0;
  if (!FileHandle.Seek(static_cast<int64_t>(remaining + OddPad(fmtSize)), platform::SeekOrigin::Current, &pos))
    return false;
  uint32_t dataSize = 0;
  for (;;) {
    uint8_t chunk[8];
    if (!ReadExact(chunk, sizeof chunk)) return Reject();
    DataSizePos = static_cast<uint32_t>(std::min<int64_t>(pos + 4, 0xFFFFFFFF));
    const uint32_t size = GetLe32(chunk + 4);
    if (IsTag(chunk, "data")) {
      dataSize = size;
      break;
    }
    const int64_t skip = static_cast<int64_t>(size) + OddPad(size);
    if (!FileHandle.Seek(skip, platform::SeekOrigin::Current, &pos)) return false;
  }

  // A truncated or crashed recording claims more than it holds: its data
  // ends with the file.
  int64_t dataStart = 0;
  int64_t fileSize = 0;
  if (!FileHandle.Seek(0, platform::SeekOrigin::Current, &dataStart) || !FileHandle.Size(&fileSize)) return false;
  const int64_t held = std::max<int64_t>(0, fileSize - dataStart);
  dataSize = static_cast<uint32_t>(std::min<int64_t>(dataSize, held));

  EdgeState = kEdgeStart;
  EndPos = static_cast<uint32_t>(std::min<int64_t>(dataStart + dataSize, 0xFFFFFFFF));

  if (FormatId == kFormatIdGsm) {
    GsmFormat.Format = format;
    GsmFormat.SamplesPerBlock = samplesPerBlock;
    BlockAlign = format.BlockAlign;
    DestroyGsmCodec(Codec);
    Codec = CreateGsmCodec();
    if (Codec == nullptr) return false;
    DataBytes = dataSize;
    return true;
  }

  StreamFormat = format;
  StreamFormat.ExtraSize = 0;
  // A block wider than a device buffer would never advance the position.
  if (format.BlockAlign == 0 || format.BlockAlign > kDeviceBlockBytes) return Reject();
  TotalFrames = dataSize / format.BlockAlign;
  BlockAlign = format.BlockAlign;
  return true;
}

}  // namespace audio
