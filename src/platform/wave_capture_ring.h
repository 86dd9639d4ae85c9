#pragma once
// A fixed ring of bytes between an input device's capture thread and the
// buffers its owner hands over: the capture goes on while the owner is busy
// (a slow disk write), and the owner catches up afterwards. Allocated once;
// pushing and popping only copy. Not locked: the device's lock guards it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {

class WaveCaptureRing {
 public:
  explicit WaveCaptureRing(size_t capacity = 0) : bytes_(capacity) {}

  size_t Capacity() const { return bytes_.size(); }
  size_t Size() const { return size_; }
  size_t Free() const { return bytes_.size() - size_; }
  bool Empty() const { return size_ == 0; }

  // Appends what fits; returns the bytes taken.
  size_t Push(const uint8_t* data, size_t count) {
    count = std::min(count, Free());
    size_t tail = (head_ + size_) % (bytes_.empty() ? 1 : bytes_.size());
    for (size_t done = 0; done < count;) {
      const size_t run = std::min(count - done, bytes_.size() - tail);
      std::memcpy(bytes_.data() + tail, data + done, run);
      done += run;
      tail = (tail + run) % bytes_.size();
    }
    size_ += count;
    return count;
  }

  // Takes up to `count` bytes from the front; returns how many.
  size_t Pop(uint8_t* out, size_t count) {
    count = std::min(count, size_);
    for (size_t done = 0; done < count;) {
      const size_t run = std::min(count - done, bytes_.size() - head_);
      std::memcpy(out + done, bytes_.data() + head_, run);
      done += run;
      head_ = (head_ + run) % bytes_.size();
    }
    size_ -= count;
    if (size_ == 0) head_ = 0;
    return count;
  }

  // Forgets up to `count` bytes from the front.
  void Drop(size_t count) {
    count = std::min(count, size_);
    head_ = bytes_.empty() ? 0 : (head_ + count) % bytes_.size();
    size_ -= count;
    if (size_ == 0) head_ = 0;
  }

  void Clear() {
    head_ = 0;
    size_ = 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t head_ = 0;
  size_t size_ = 0;
};

}  // namespace platform
