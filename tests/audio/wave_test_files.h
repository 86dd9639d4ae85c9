#pragma once
// Shared helpers of the audio suites: hand-built RIFF files, a speech-like
// signal, recordings and reads block by block.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "audio/wave_file_stream.h"
#include "diag/tracker.h"
#include "support/temp_roots.h"

namespace audiotest {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<Bytes>;

// A temporary folder that the device roots also point at, removed at the end.
struct TempDir : testsupport::TempRoots {
  std::string File(const std::string& name) const { return Base() + "/" + name; }
};

inline std::u16string HostPath(const std::string& path) { return std::u16string(path.begin(), path.end()); }

inline Bytes ReadBytes(const std::string& path) {
  const std::string text = testsupport::ReadHostFile(path);
  return Bytes(text.begin(), text.end());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  testsupport::WriteHostFile(path, std::string(bytes.begin(), bytes.end()));
}

inline uint32_t Le32(const Bytes& b, size_t o) {
  return b.at(o) | b.at(o + 1) << 8 | b.at(o + 2) << 16 | static_cast<uint32_t>(b.at(o + 3)) << 24;
}

inline void Put(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline void PutLe32At(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

inline Bytes Range(const Bytes& b, size_t from, size_t to) {
  return Bytes(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(to));
}

// A chunk; `claimed` replaces the size its header gives (the body may be shorter).
struct Chunk {
  std::string id;
  Bytes body;
  uint32_t claimed = 0;
};

inline Bytes Riff(const std::vector<Chunk>& chunks) {
  Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Chunk& c : chunks) {
    out.insert(out.end(), c.id.begin(), c.id.end());
    Put(out, c.claimed ? c.claimed : static_cast<uint32_t>(c.body.size()), 4);
    out.insert(out.end(), c.body.begin(), c.body.end());
    if (c.body.size() % 2 == 1 && !c.claimed) out.push_back(0);  // the pad byte
  }
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>((out.size() - 8) >> (8 * i));
  return out;
}

// A fmt chunk: tag, channels, rate, byte rate, block align, bits, then 16-bit extra fields.
inline Bytes Fmt(const std::vector<uint32_t>& fields) {
  Bytes f;
  for (size_t i = 0; i < fields.size(); ++i) Put(f, fields[i], i == 2 || i == 3 ? 4 : 2);
  return f;
}

inline Bytes PcmFmt(uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign = 0) {
  blockAlign = blockAlign ? blockAlign : channels * ((bits + 7) / 8);
  return Fmt({1, channels, rate, rate * blockAlign, blockAlign, bits});
}

// extraSize < 0 leaves the extra-size field out.
inline Bytes GsmFmt(int extraSize = 2) {
  Bytes f = Fmt({0x31, 1, 8000, 1625, 65, 0, static_cast<uint32_t>(extraSize), 320});
  return extraSize < 0 ? Range(f, 0, 16) : f;
}

// Two tones at 8000 Hz under a slow swell.
inline std::vector<int16_t> SpeechLike(size_t samples) {
  std::vector<int16_t> out(samples);
  for (size_t i = 0; i < samples; ++i) {
    const double t = i / 8000.0, tones = 0.45 * std::sin(2 * M_PI * 220 * t) + 0.25 * std::sin(2 * M_PI * 710 * t);
    out[i] = static_cast<int16_t>(std::lround(16000 * (1 + std::sin(2 * M_PI * 1.3 * t)) * tones));
  }
  return out;
}

inline Bytes AsBytes(const std::vector<int16_t>& samples) {
  Bytes bytes;
  for (int16_t s : samples) Put(bytes, static_cast<uint16_t>(s), 2);
  return bytes;
}

class TestStream : public audio::WaveFileStream {
 public:
  using WaveFileStream::DataBytes;
  using WaveFileStream::EdgeState;
  using WaveFileStream::EndPos;
  using WaveFileStream::PairsWritten;
  using WaveFileStream::TotalFrames;
};

// Every block Read delivers in one direction, one by one.
inline Blocks ReadBlocks(audio::IAudioStream& stream, uint32_t direction) {
  Blocks out;
  uint32_t size = 640;
  for (uint8_t* block; (block = stream.Read(&size, direction)) != nullptr; size = 640) {
    out.emplace_back(block, block + size);
    diag::TrackedDelete(block);
  }
  return out;
}

inline Bytes ReadAll(audio::IAudioStream& stream, uint32_t direction) {
  Bytes out;
  for (const Bytes& block : ReadBlocks(stream, direction)) out.insert(out.end(), block.begin(), block.end());
  return out;
}

// Writes in 640-byte device blocks as a recording does (the last PCM block
// may be short; GSM always codes a whole, silence-padded block).
inline bool Record(const std::string& path, uint32_t formatId, const Bytes& deviceBytes) {
  audio::WaveFileStream stream;
  const uint32_t align = stream.SetFormat(formatId);
  if (!stream.Open(HostPath(path), audio::kStreamWrite)) return false;
  for (size_t at = 0; at < deviceBytes.size(); at += 640) {
    Bytes block = Range(deviceBytes, at, std::min(at + 640, deviceBytes.size()));
    const uint32_t frames = align == 0 ? 320 : static_cast<uint32_t>(block.size() / align);
    block.resize(640, 0);
    if (!stream.Write(block.data(), frames)) return false;
  }
  return stream.Close();
}

// A GSM recording as sox and libsndfile leave an odd number of pairs: the
// pad byte counted in the data size (65 x n + 1).
inline void AddCountedPadByte(const std::string& gsmPath) {
  Bytes file = ReadBytes(gsmPath);
  file.push_back(0);
  PutLe32At(file, 4, Le32(file, 4) + 1);
  PutLe32At(file, 56, Le32(file, 56) + 1);
  WriteBytes(gsmPath, file);
}

}  // namespace audiotest
