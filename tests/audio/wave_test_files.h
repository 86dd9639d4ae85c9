#pragma once
// Shared helpers of the audio suites: a temporary folder, hand-built RIFF
// files, a speech-like signal and a stream whose fields tests can see.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/wave_file_stream.h"
#include "diag/tracker.h"

namespace audiotest {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<Bytes>;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-audio-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline std::u16string HostPath(const std::string& path) { return std::u16string(path.begin(), path.end()); }

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t Le32(const Bytes& b, size_t o) {
  return b.at(o) | (b.at(o + 1) << 8) | (b.at(o + 2) << 16) | (static_cast<uint32_t>(b.at(o + 3)) << 24);
}

inline void Put(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

class RiffBuilder {
 public:
  RiffBuilder& Chunk(const std::string& id, const Bytes& body) {
    RawChunk(id, static_cast<uint32_t>(body.size()), body);
    if (body.size() % 2 == 1) chunks_.push_back(0);  // the pad byte
    return *this;
  }
  // A chunk header claiming `size` bytes followed by `body` (which may be shorter).
  RiffBuilder& RawChunk(const std::string& id, uint32_t size, const Bytes& body) {
    chunks_.insert(chunks_.end(), id.begin(), id.end());
    Put(chunks_, size, 4);
    chunks_.insert(chunks_.end(), body.begin(), body.end());
    return *this;
  }
  Bytes Build() const {
    Bytes out = {'R', 'I', 'F', 'F'};
    Put(out, static_cast<uint32_t>(chunks_.size() + 4), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), chunks_.begin(), chunks_.end());
    return out;
  }

 private:
  Bytes chunks_;
};

inline Bytes PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign = 0) {
  if (blockAlign == 0) blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  Bytes f;
  for (auto [value, bytes] : {std::pair<uint32_t, int>{1, 2}, {channels, 2}, {rate, 4}, {rate * blockAlign, 4},
                              {blockAlign, 2}, {bits, 2}})
    Put(f, value, bytes);
  return f;
}

// Tag 49; extraSize < 0 leaves the extra-size field out (16-byte chunk).
inline Bytes GsmFmt(int extraSize = 2, size_t surplus = 0) {
  Bytes f;
  for (auto [value, bytes] : {std::pair<uint32_t, int>{0x31, 2}, {1, 2}, {8000, 4}, {1625, 4}, {65, 2}, {0, 2}})
    Put(f, value, bytes);
  if (extraSize >= 0) {
    Put(f, static_cast<uint32_t>(extraSize), 2);
    Put(f, 320, 2);
    f.insert(f.end(), surplus, 0xEE);
  }
  return f;
}

// Two tones with a slow swell and some hiss.
inline std::vector<int16_t> SpeechLike(size_t samples, uint32_t seed = 1) {
  std::vector<int16_t> out(samples);
  uint32_t noise = seed;
  for (size_t i = 0; i < samples; ++i) {
    const double t = i / 8000.0;
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0 * 0.05;
    const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 1.3 * t);
    const double v = swell * (0.45 * std::sin(2 * M_PI * 220 * t) + 0.25 * std::sin(2 * M_PI * 710 * t)) + hiss;
    out[i] = static_cast<int16_t>(std::lround(v * 32000));
  }
  return out;
}

inline Bytes AsBytes(const std::vector<int16_t>& samples) {
  Bytes bytes;
  for (int16_t s : samples) Put(bytes, static_cast<uint16_t>(s), 2);
  return bytes;
}

inline Bytes Range(const Bytes& b, size_t from, size_t to) {
  return Bytes(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(to));
}

class TestStream : public audio::WaveFileStream {
 public:
  using WaveFileStream::DataBytes;
  using WaveFileStream::DataSizePos;
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

}  // namespace audiotest
