#include "wave_test_support.h"

#include <chrono>

namespace wavetest {

using namespace platform;

void CallbackLog::Record(uint32_t message, WaveHeader* header) {
  Delivery d{message, header, header ? header->flags : 0, header ? header->bytesRecorded : 0,
             std::this_thread::get_id()};
  bool buffer = message == kWaveOutDone || message == kWaveInData;
  if (buffer && onDone) onDone(header);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    deliveries_.push_back(d);
  }
  arrived_.Set();
}

std::vector<Delivery> CallbackLog::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deliveries_;
}

std::vector<Delivery> CallbackLog::Buffers() const {
  std::vector<Delivery> out;
  for (const Delivery& d : All()) {
    if (d.message == kWaveOutDone || d.message == kWaveInData) out.push_back(d);
  }
  return out;
}

bool CallbackLog::WaitForBuffers(size_t count, uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Buffers().size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    arrived_.Wait(static_cast<uint32_t>(left.count()));
  }
  return true;
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

std::vector<char> Concat(const std::vector<const Buffer*>& buffers) {
  std::vector<char> out;
  for (const Buffer* b : buffers) out.insert(out.end(), b->bytes.begin(), b->bytes.end());
  return out;
}

void VirtualDeviceTest::SetUp() {
  device_ = VirtualWaveDevice::Install();
  device_->Clock().RunManually();
}

void VirtualDeviceTest::TearDown() {
  InstallWaveBackend(nullptr);
}

}  // namespace wavetest
