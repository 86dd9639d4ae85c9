#pragma once
// Shared helpers of the audio suites: a temporary folder, hand-built RIFF
// files, speech-like test signals and a stream whose fields tests can see.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_file_stream.h"

namespace audiotest {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::u16string HostPath(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
uint32_t Le32(const std::vector<uint8_t>& bytes, size_t offset);
uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset);

// Builds a RIFF WAVE file chunk by chunk.
class RiffBuilder {
 public:
  RiffBuilder& Chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true);
  // A chunk header claiming `size` bytes followed by `body` (which may be shorter).
  RiffBuilder& RawChunk(const std::string& id, uint32_t size, const std::vector<uint8_t>& body);
  std::vector<uint8_t> Build() const;

 private:
  std::vector<uint8_t> chunks_;
};

std::vector<uint8_t> PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign = 0);
// tag 49; extraSize < 0 leaves the extra-size field out (16-byte chunk).
std::vector<uint8_t> GsmFmt(int extraSize = 2, uint16_t samplesPerBlock = 320, size_t surplus = 0);

// A voice-like test signal: two tones with a slow swell, 16-bit.
std::vector<int16_t> SpeechLike(size_t samples, uint32_t rate = 8000, uint32_t seed = 1);
std::vector<uint8_t> AsBytes(const std::vector<int16_t>& samples);

// A stream whose bookkeeping the tests can read and set.
class TestStream : public audio::WaveFileStream {
 public:
  using WaveFileStream::BlockAlign;
  using WaveFileStream::DataBytes;
  using WaveFileStream::DataSizePos;
  using WaveFileStream::EdgeState;
  using WaveFileStream::EndPos;
  using WaveFileStream::LastReadBytes;
  using WaveFileStream::PairsRead;
  using WaveFileStream::PairsWritten;
  using WaveFileStream::PositionFrames;
  using WaveFileStream::RiffSizePos;
  using WaveFileStream::StreamFormat;
  using WaveFileStream::TotalFrames;
};

// Every block Read delivers in one direction, concatenated, and the block count.
std::vector<uint8_t> ReadAll(audio::IAudioStream& stream, uint32_t direction, size_t* blocks = nullptr,
                             std::vector<std::vector<uint8_t>>* each = nullptr);

// Writes a recording through WaveFileStream: 640-byte blocks of the samples
// (the last PCM block may be short; GSM blocks are padded with silence).
bool Record(const std::string& path, uint32_t formatId, const std::vector<uint8_t>& deviceBytes);

}  // namespace audiotest
