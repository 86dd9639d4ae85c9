#include "wave_test_support.h"

namespace wavetest {

using namespace platform;

static bool IsBuffer(uint32_t message) { return message == kWaveOutDone || message == kWaveInData; }

void CallbackLog::Record(uint32_t message, WaveHeader* header) {
  const Delivery d{message, header, header ? header->flags : 0, header ? header->bytesRecorded : 0,
                   std::this_thread::get_id()};
  if (IsBuffer(message) && onDone) onDone(header);
  std::lock_guard<std::mutex> lock(mutex_);
  deliveries_.push_back(d);
}

std::vector<Delivery> CallbackLog::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deliveries_;
}

std::vector<Delivery> CallbackLog::Buffers() const {
  std::vector<Delivery> out;
  for (const Delivery& d : All()) {
    if (IsBuffer(d.message)) out.push_back(d);
  }
  return out;
}

Buffer::Buffer(std::vector<char> content) : bytes(std::move(content)) {
  header.data = bytes.data();
  header.bufferLength = static_cast<uint32_t>(bytes.size());
}

std::unique_ptr<Buffer> Buffer::Pattern(size_t size, unsigned seed) {
  std::vector<char> content(size);
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : content) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return std::make_unique<Buffer>(std::move(content));
}

}  // namespace wavetest
