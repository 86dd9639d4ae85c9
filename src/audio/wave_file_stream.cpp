#include "audio/wave_file_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "audio/format_presets.h"
#include "audio/mul_div_round.h"
#include "audio/riff_bytes.h"
#include "diag/tracker.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace audio {

namespace {

// Offsets are 32-bit, so the file must end below 4 GiB; the RIFF size is
// then below 4 GiB - 8 as well and never wraps.
constexpr uint64_t kMaxFileEnd = 0xFFFFFFFFull;

uint8_t* NewBlock(uint32_t size) {
  auto* block = static_cast<uint8_t*>(diag::TrackedNew(size, u"wave_file_stream.cpp", __LINE__));
  if (block == nullptr) platform::SetLastError(ENOMEM);
  return block;
}

// MulDivRound's rounding for a percentage of a count that may exceed int32.
int64_t PercentOf(int32_t percent, uint32_t count) {
  const float quotient = static_cast<float>(percent) * static_cast<float>(count) / 100.0f;
  return static_cast<int64_t>(static_cast<double>(quotient) + 0.5);
}

}  // namespace

WaveFileStream::WaveFileStream() = default;

WaveFileStream::~WaveFileStream() { Close(); }

namespace {

bool IsHostPath(const std::u16string& path) { return !path.empty() && path[0] == u'/'; }

bool OpenPath(platform::File& file, const std::u16string& path, platform::FileAccess access) {
  if (IsHostPath(path)) return file.OpenHost(platform::ToUtf8(path), access);
  return file.Open(path, access);
}

}  // namespace

bool WaveFileStream::OpenFile(const std::u16string& path, bool write) {
  createdFile_ = false;
  if (!write) {
    if (OpenPath(FileHandle, path, platform::FileAccess::Read)) return true;
    // A FIFO or a device is no WAV file, whatever its name says.
    if (platform::GetLastError() == platform::kNotRegularFileError) platform::SetLastError(0);
    return false;
  }
  if (OpenPath(FileHandle, path, platform::FileAccess::CreateNew)) {
    createdFile_ = true;
    return true;
  }
  if (platform::GetLastError() != EEXIST) return false;
  return OpenPath(FileHandle, path, platform::FileAccess::Write);
}

void WaveFileStream::RemoveCreatedFile(const std::u16string& path) {
  if (!createdFile_) return;
  createdFile_ = false;
  const int error = platform::GetLastError();
  if (IsHostPath(path)) {
    ::unlink(platform::ToUtf8(path).c_str());
  } else {
    platform::DeleteFile(path);
  }
  platform::SetLastError(error);
}

bool WaveFileStream::Open(const std::u16string& path, uint32_t flags) {
  Close();
  TotalFrames = 0;
  PositionFrames = 0;
  BlockAlign = 0;
  RiffSizePos = 0;
  DataSizePos = 0;
  EndPos = 0;
  LastReadBytes = 0;
  PairsRead = 0;
  PairsWritten = 0;
  DataBytes = 0;
  OpenFlags = 0;  // a failed Open leaves a stream that neither reads nor writes
  Path = path;

  if (flags != kStreamRead && flags != kStreamWrite) {
    platform::SetLastError(EINVAL);
    return false;
  }
  const bool write = flags == kStreamWrite;
  if (!OpenFile(path, write)) return false;
  if (!(write ? WriteHeader() : ReadHeader())) {
    Close();
    // A full disk must not leave an empty recording behind.
    if (write) RemoveCreatedFile(path);
    return false;
  }
  OpenFlags = flags;
  return true;
}

bool WaveFileStream::Close() {
  // Whatever FormatId says now, a codec made for this file goes with it.
  if (Codec != nullptr) {
    DestroyGsmCodec(Codec);
    Codec = nullptr;
  }
  FileHandle.Close();
  return true;
}

uint32_t WaveFileStream::SetFormat(uint32_t formatId) {
  FormatId = formatId;
  GsmFormat = GsmWaveFormat{};
  StreamFormat = WaveFormatEx{};
  if (formatId == kFormatIdGsm) {
    GsmFormat = MakeGsmFormat();
    BlockAlign = kGsmPairBytes;
    return 0;
  }
  PcmFormatForId(formatId, &StreamFormat);
  BlockAlign = StreamFormat.BlockAlign;
  return BlockAlign;
}

const WaveFormatEx* WaveFileStream::GetFormat() { return IsGsm() ? GsmDeviceFormat() : &StreamFormat; }

// ---- reading ----

bool WaveFileStream::ReadExact(void* data, uint32_t size) {
  uint32_t done = 0;
  if (!FileHandle.Read(data, size, &done)) return false;
  if (done == size) return true;
  // The data ended before the header said: the file was cut short.
  platform::SetLastError(EIO);
  return false;
}

bool WaveFileStream::CurrentPosition(int64_t* pos) { return FileHandle.Seek(0, platform::SeekOrigin::Current, pos); }

void WaveFileStream::RestorePosition(int64_t pos) {
  const int error = platform::GetLastError();
  FileHandle.Seek(pos, platform::SeekOrigin::Begin);
  platform::SetLastError(error);
}

uint8_t* WaveFileStream::Read(uint32_t* size, uint32_t direction) {
  if (size == nullptr || OpenFlags != kStreamRead || !FileHandle.IsValid()) return nullptr;
  const bool forward = direction == kReadForward || direction == kReadForwardScan;
  if (!forward && direction != kReadBackward) return nullptr;
  if (IsGsm()) return forward ? ReadGsmForward(size) : ReadGsmBackward(size);
  return ReadPcm(size, !forward);
}

// PCM blocks hold whole frames only, so a block align that does not divide
// the request cannot shift the samples that follow. Backwards, the block is
// the one before the position, its samples in forward order.
uint8_t* WaveFileStream::ReadPcm(uint32_t* size, bool backward) {
  const uint32_t edge = backward ? kEdgeStart : kEdgeEnd;
  if (EdgeState == edge || BlockAlign == 0) return nullptr;
  const uint32_t framesLeft = backward ? PositionFrames : TotalFrames - PositionFrames;
  const uint64_t available = static_cast<uint64_t>(framesLeft) * BlockAlign;
  if (available == 0) {
    EdgeState = edge;
    return nullptr;
  }
  uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(*size, available));
  bytes -= bytes % BlockAlign;
  if (bytes == 0) return nullptr;

  int64_t start = 0;
  if (!CurrentPosition(&start)) return nullptr;
  uint8_t* block = NewBlock(bytes);
  if (block == nullptr) return nullptr;
  const int64_t back = -static_cast<int64_t>(bytes);
  const bool read = backward ? FileHandle.Seek(back, platform::SeekOrigin::Current) && ReadExact(block, bytes) &&
                                   FileHandle.Seek(back, platform::SeekOrigin::Current)
                             : ReadExact(block, bytes);
  if (!read) {
    RestorePosition(start);
    diag::TrackedDelete(block);
    return nullptr;
  }
  if (backward) {
    PositionFrames -= bytes / BlockAlign;
    EdgeState = PositionFrames == 0 ? kEdgeStart : kEdgeInside;
  } else {
    PositionFrames += bytes / BlockAlign;
    EdgeState = PositionFrames < TotalFrames ? kEdgeInside : kEdgeEnd;
  }
  LastReadBytes = bytes;
  *size = bytes;
  return block;
}

// One frame pair decoded into one full device block; a smaller request
// cannot hold it and is refused.
uint8_t* WaveFileStream::ReadGsmForward(uint32_t* size) {
  if (EdgeState == kEdgeEnd || Codec == nullptr || *size < kDeviceBlockBytes) return nullptr;
  const uint64_t pairEnd = static_cast<uint64_t>(PairsRead) * kGsmPairBytes + kGsmPairBytes;
  if (pairEnd > DataBytes) {  // no whole pair left in the data chunk
    EdgeState = kEdgeEnd;
    return nullptr;
  }
  int64_t start = 0;
  if (!CurrentPosition(&start)) return nullptr;
  uint8_t* block = NewBlock(kDeviceBlockBytes);
  if (block == nullptr) return nullptr;
  uint8_t pair[kGsmPairBytes];
  if (!ReadExact(pair, kGsmPairBytes) || !DecodeGsmPair(Codec, pair, block)) {
    RestorePosition(start);
    diag::TrackedDelete(block);
    return nullptr;
  }
  // A trailing part of a pair (the RIFF pad byte other writers count) is not a pair.
  EdgeState = pairEnd + kGsmPairBytes <= DataBytes ? kEdgeInside : kEdgeEnd;
  PairsRead += 1;
  LastReadBytes = kDeviceBlockBytes;
  *size = kDeviceBlockBytes;
  return block;
}

uint8_t* WaveFileStream::ReadGsmBackward(uint32_t* size) {
  if (EdgeState == kEdgeStart || Codec == nullptr || *size < kDeviceBlockBytes) return nullptr;
  if (PairsRead == 0) {
    EdgeState = kEdgeStart;
    return nullptr;
  }
  int64_t start = 0;
  if (!CurrentPosition(&start)) return nullptr;
  uint8_t* block = NewBlock(kDeviceBlockBytes);
  if (block == nullptr) return nullptr;
  uint8_t pair[kGsmPairBytes];
  constexpr int64_t kBack = -static_cast<int64_t>(kGsmPairBytes);
  if (!FileHandle.Seek(kBack, platform::SeekOrigin::Current) || !ReadExact(pair, kGsmPairBytes) ||
      !FileHandle.Seek(kBack, platform::SeekOrigin::Current) || !DecodeGsmPair(Codec, pair, block)) {
    RestorePosition(start);
    diag::TrackedDelete(block);
    return nullptr;
  }
  PairsRead -= 1;
  EdgeState = PairsRead == 0 ? kEdgeStart : kEdgeInside;
  LastReadBytes = kDeviceBlockBytes;
  *size = kDeviceBlockBytes;
  return block;
}

// ---- writing ----

uint32_t WaveFileStream::RiffOverhead() const { return IsGsm() ? 52 : 36; }

bool WaveFileStream::PatchSizes(uint64_t dataSize) {
  PutLe32(header_ + RiffSizePos, static_cast<uint32_t>(RiffOverhead() + dataSize));
  PutLe32(header_ + DataSizePos, static_cast<uint32_t>(dataSize));
  if (factPos_ != 0) {
    // Past 4 Gi samples (149 hours) the count stays at its largest value.
    const uint64_t samples = dataSize / kGsmPairBytes * GsmFormat.SamplesPerBlock;
    PutLe32(header_ + factPos_, static_cast<uint32_t>(std::min<uint64_t>(samples, 0xFFFFFFFFu)));
  }
  const uint32_t bytes = DataSizePos + 4 - RiffSizePos;
  uint32_t done = 0;
  return FileHandle.WriteAt(RiffSizePos, header_ + RiffSizePos, bytes, &done) && done == bytes;
}

bool WaveFileStream::AppendAndPatch(const void* data, uint32_t bytes, uint64_t newDataSize) {
  // The end of the file must stay addressable by the 32-bit EndPos.
  if (static_cast<uint64_t>(EndPos) + bytes > kMaxFileEnd || RiffOverhead() + newDataSize > kMaxFileEnd) {
    platform::SetLastError(EFBIG);
    return false;
  }
  // Data first, sizes second: a full disk then leaves the old, matching header.
  uint32_t done = 0;
  bool ok = FileHandle.WriteAt(EndPos, data, bytes, &done) && done == bytes;
  ok = ok && PatchSizes(newDataSize);
  if (!ok) {
    const int error = platform::GetLastError();
    if (::ftruncate(FileHandle.Descriptor(), EndPos) == 0) {
      const uint64_t oldDataSize = IsGsm() ? static_cast<uint64_t>(PairsWritten) * kGsmPairBytes
                                           : static_cast<uint64_t>(TotalFrames) * BlockAlign;
      PatchSizes(oldDataSize);
    }
    platform::SetLastError(error != 0 ? error : EIO);
    return false;
  }
  EndPos += bytes;
  return true;
}

bool WaveFileStream::Writable() const {
  if (OpenFlags != kStreamWrite || !FileHandle.IsValid() || (IsGsm() && Codec == nullptr)) {
    platform::SetLastError(EBADF);
    return false;
  }
  return true;
}

bool WaveFileStream::Write(const void* samples, uint32_t frames) {
  if (!Writable()) return false;
  if (samples == nullptr) {
    platform::SetLastError(EINVAL);
    return false;
  }
  if (!IsGsm()) return WritePcm(samples, frames);
  CodedBlock block;
  return CodeBlock(samples, frames, &block) && AppendBlock(block);
}

// GSM: always one device block of 320 samples, the frame count not used.
// PCM: the frames as they are, at most one device block.
bool WaveFileStream::CodeBlock(const void* samples, uint32_t frames, CodedBlock* out) {
  if (!Writable()) return false;
  const bool fits = IsGsm() || static_cast<uint64_t>(frames) * BlockAlign <= kDeviceBlockBytes;
  if (samples == nullptr || out == nullptr || !fits) {
    platform::SetLastError(EINVAL);
    return false;
  }
  if (IsGsm()) {
    EncodeGsmPair(Codec, samples, out->data);
    out->frames = 0;
    out->bytes = kGsmPairBytes;
  } else {
    out->frames = frames;
    out->bytes = frames * BlockAlign;
    std::memcpy(out->data, samples, out->bytes);
  }
  return true;
}

bool WaveFileStream::AppendBlock(const CodedBlock& block) {
  if (!Writable()) return false;
  if (!IsGsm()) return WritePcm(block.data, block.frames);
  const uint64_t newPairs = static_cast<uint64_t>(PairsWritten) + 1;
  const uint64_t newDataSize = newPairs * kGsmPairBytes;
  if (RiffOverhead() + newDataSize > kMaxFileEnd) {
    platform::SetLastError(EFBIG);
    return false;
  }
  if (!AppendAndPatch(block.data, kGsmPairBytes, newDataSize)) return false;
  PairsWritten = static_cast<uint32_t>(newPairs);
  DataBytes = static_cast<uint32_t>(newDataSize);
  return true;
}

bool WaveFileStream::WritePcm(const void* samples, uint32_t frames) {
  const uint64_t newTotal = static_cast<uint64_t>(TotalFrames) + frames;
  const uint64_t bytes = static_cast<uint64_t>(frames) * BlockAlign;
  if (newTotal > 0xFFFFFFFFull || bytes > kMaxFileEnd) {
    platform::SetLastError(EFBIG);
    return false;
  }
  if (!AppendAndPatch(samples, static_cast<uint32_t>(bytes), newTotal * BlockAlign)) return false;
  TotalFrames = static_cast<uint32_t>(newTotal);
  return true;
}

// ---- position and length ----

bool WaveFileStream::SeekPercent(int32_t percent) {
  percent = std::clamp(percent, 0, 100);
  if (!FileHandle.IsValid()) return false;
  if (IsGsm()) {
    int64_t target = PercentOf(percent, DataBytes / kGsmPairBytes) - 1;
    if (target < 0) target = 0;
    if (target != PairsRead) {
      const int64_t delta = (target - static_cast<int64_t>(PairsRead)) * kGsmPairBytes;
      if (!FileHandle.Seek(delta, platform::SeekOrigin::Current)) return false;
      PairsRead = static_cast<uint32_t>(target);
    }
  } else {
    const int64_t framesPerBlock = BlockAlign == 0 ? 0 : LastReadBytes / BlockAlign;
    int64_t target = PercentOf(percent, TotalFrames) - 1;
    if (target + framesPerBlock >= TotalFrames) target = static_cast<int64_t>(TotalFrames) - framesPerBlock;
    if (target < 0) target = 0;
    if (target != PositionFrames) {
      const int64_t delta = (target - static_cast<int64_t>(PositionFrames)) * BlockAlign;
      if (!FileHandle.Seek(delta, platform::SeekOrigin::Current)) return false;
      PositionFrames = static_cast<uint32_t>(target);
    }
  }
  // A seek after the end was reached must play again.
  EdgeState = (IsGsm() ? PairsRead : PositionFrames) == 0 ? kEdgeStart : kEdgeInside;
  return true;
}

uint32_t WaveFileStream::GetLengthSeconds() {
  if (IsGsm()) return RoundedQuotient(static_cast<float>(DataBytes), GsmFormat.Format.AvgBytesPerSec);
  if (TotalFrames == 0) return 0;
  return RoundedQuotient(static_cast<float>(TotalFrames), StreamFormat.SamplesPerSec);
}

uint32_t WaveFileStream::GetRecordedSeconds() { return GetLengthSeconds(); }

uint32_t WaveFileStream::GetPositionSeconds() {
  if (IsGsm()) {
    return RoundedQuotient(static_cast<float>(PairsRead) * static_cast<float>(kGsmPairBytes),
                           GsmFormat.Format.AvgBytesPerSec);
  }
  if (PositionFrames == 0 || BlockAlign == 0) return 0;
  return RoundedQuotient(static_cast<float>(PositionFrames), StreamFormat.SamplesPerSec);
}

}  // namespace audio
