#include "wave_test_files.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "diag/tracker.h"

namespace audiotest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-audio-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::u16string HostPath(const std::string& path) { return std::u16string(path.begin(), path.end()); }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t o) {
  return b.at(o) | (b.at(o + 1) << 8) | (b.at(o + 2) << 16) | (static_cast<uint32_t>(b.at(o + 3)) << 24);
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t o) { return static_cast<uint16_t>(b.at(o) | (b.at(o + 1) << 8)); }

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

RiffBuilder& RiffBuilder::Chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad) {
  RawChunk(id, static_cast<uint32_t>(body.size()), body);
  if (pad && body.size() % 2 == 1) chunks_.push_back(0);
  return *this;
}

RiffBuilder& RiffBuilder::RawChunk(const std::string& id, uint32_t size, const std::vector<uint8_t>& body) {
  chunks_.insert(chunks_.end(), id.begin(), id.end());
  Put32(chunks_, size);
  chunks_.insert(chunks_.end(), body.begin(), body.end());
  return *this;
}

std::vector<uint8_t> RiffBuilder::Build() const {
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  Put32(out, static_cast<uint32_t>(chunks_.size() + 4));
  out.insert(out.end(), {'W', 'A', 'V', 'E'});
  out.insert(out.end(), chunks_.begin(), chunks_.end());
  return out;
}

std::vector<uint8_t> PcmFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign) {
  if (blockAlign == 0) blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  std::vector<uint8_t> f;
  Put16(f, 1);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, rate * blockAlign);
  Put16(f, blockAlign);
  Put16(f, bits);
  return f;
}

std::vector<uint8_t> GsmFmt(int extraSize, uint16_t samplesPerBlock, size_t surplus) {
  std::vector<uint8_t> f;
  Put16(f, 0x31);
  Put16(f, 1);
  Put32(f, 8000);
  Put32(f, 1625);
  Put16(f, 65);
  Put16(f, 0);
  if (extraSize >= 0) {
    Put16(f, static_cast<uint16_t>(extraSize));
    Put16(f, samplesPerBlock);
    f.insert(f.end(), surplus, 0xEE);
  }
  return f;
}

std::vector<int16_t> SpeechLike(size_t samples, uint32_t rate, uint32_t seed) {
  std::vector<int16_t> out(samples);
  const double pi = 3.14159265358979;
  uint32_t noise = seed;
  for (size_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double swell = 0.5 + 0.5 * std::sin(2 * pi * 1.3 * t);
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0 * 0.05;
    const double v = swell * (0.45 * std::sin(2 * pi * 220 * t) + 0.25 * std::sin(2 * pi * 710 * t)) + hiss;
    out[i] = static_cast<int16_t>(std::lround(v * 32000));
  }
  return out;
}

std::vector<uint8_t> AsBytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(samples[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
  }
  return bytes;
}

std::vector<uint8_t> ReadAll(audio::IAudioStream& stream, uint32_t direction, size_t* blocks,
                             std::vector<std::vector<uint8_t>>* each) {
  std::vector<uint8_t> out;
  size_t count = 0;
  for (;;) {
    uint32_t size = 640;
    uint8_t* block = stream.Read(&size, direction);
    if (block == nullptr) break;
    out.insert(out.end(), block, block + size);
    if (each != nullptr) each->emplace_back(block, block + size);
    diag::TrackedDelete(block);
    ++count;
  }
  if (blocks != nullptr) *blocks = count;
  return out;
}

bool Record(const std::string& path, uint32_t formatId, const std::vector<uint8_t>& deviceBytes) {
  audio::WaveFileStream stream;
  const uint32_t align = stream.SetFormat(formatId);
  if (!stream.Open(HostPath(path), audio::kStreamWrite)) return false;
  for (size_t at = 0; at < deviceBytes.size(); at += 640) {
    std::vector<uint8_t> block(deviceBytes.begin() + static_cast<std::ptrdiff_t>(at),
                               deviceBytes.begin() + static_cast<std::ptrdiff_t>(std::min(at + 640, deviceBytes.size())));
    const uint32_t frames = align == 0 ? 320 : static_cast<uint32_t>(block.size() / align);
    block.resize(640, 0);  // GSM always codes a whole block
    if (!stream.Write(block.data(), frames)) return false;
  }
  return stream.Close();
}

}  // namespace audiotest
