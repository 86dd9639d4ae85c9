#include "block_writer.h"

#include <algorithm>
#include <system_error>

#include "platform/last_error.h"

namespace quillonwav {

namespace {

// 16 batches of 10 s at 8000 Hz: about 2.6 MB, and enough for the codec to
// run on while the writer waits for a busy processor.
constexpr size_t kBlocksPerBatch = 256;
constexpr int kBatches = 16;

}  // namespace

BlockWriter::BlockWriter(audio::WaveFileStream& stream, uint32_t blockAlign)
    : stream_(stream), align_(std::max<uint32_t>(blockAlign, 1)) {
  for (int i = 0; i < kBatches; ++i) {
    free_.push_back(std::make_unique<Batch>());
    free_.back()->blocks.resize(kBlocksPerBatch);
  }
  current_ = std::move(free_.front());
  free_.pop_front();
  try {
    writer_ = std::thread([this] { RunWriter(); });
  } catch (const std::system_error&) {
    // No second thread: the blocks are appended on this one.
  }
}

BlockWriter::~BlockWriter() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
}

bool BlockWriter::Failed() {
  std::lock_guard lock(mutex_);
  if (!failed_) return false;
  platform::SetLastError(error_);
  return true;
}

bool BlockWriter::Add(const uint8_t* data, size_t size) {
  if (Failed()) return false;
  constexpr size_t kBlock = audio::kDeviceBlockBytes;
  if (!pending_.empty()) {
    const size_t take = std::min(size, kBlock - pending_.size());
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    size -= take;
    if (pending_.size() < kBlock) return true;
    if (!Code(pending_.data(), kBlock)) return false;
    pending_.clear();
  }
  for (; size >= kBlock; data += kBlock, size -= kBlock) {
    if (!Code(data, kBlock)) return false;
  }
  pending_.assign(data, data + size);
  return true;
}

bool BlockWriter::Finish() {
  if (Failed()) return false;
  if (!pending_.empty()) {
    const size_t bytes = pending_.size();
    pending_.resize(audio::kDeviceBlockBytes, 0);
    if (!Code(pending_.data(), bytes)) return false;
    pending_.clear();
  }
  if (!HandOver()) return false;
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) writer_.join();
  return !Failed();
}

// A block of up to 640 bytes; the stream takes its whole frames.
bool BlockWriter::Code(const uint8_t* block, size_t bytes) {
  Batch& batch = *current_;
  if (!stream_.CodeBlock(block, static_cast<uint32_t>(bytes / align_), &batch.blocks[batch.count])) return false;
  return ++batch.count < kBlocksPerBatch || HandOver();
}

bool BlockWriter::HandOver() {
  if (current_->count == 0) return true;
  if (!writer_.joinable()) {
    Append(*current_);
    current_->count = 0;
    return !Failed();
  }
  std::unique_lock lock(mutex_);
  full_.push_back(std::move(current_));
  changed_.notify_all();
  changed_.wait(lock, [this] { return !free_.empty() || failed_; });
  if (failed_) {
    platform::SetLastError(error_);
    current_ = std::make_unique<Batch>();  // empty: nothing more is coded
    return false;
  }
  current_ = std::move(free_.front());
  free_.pop_front();
  return true;
}

// On the writer thread (or the caller's without one); after a failure the
// rest is dropped, so the file ends with the last block written whole.
void BlockWriter::Append(Batch& batch) {
  for (size_t i = 0; i < batch.count; ++i) {
    if (stream_.AppendBlock(batch.blocks[i])) continue;
    const int error = platform::GetLastError();
    std::lock_guard lock(mutex_);
    failed_ = true;
    error_ = error;
    return;
  }
}

void BlockWriter::RunWriter() {
  for (;;) {
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !full_.empty() || done_; });
      if (full_.empty()) return;
      batch = std::move(full_.front());
      full_.pop_front();
      if (failed_) batch->count = 0;
    }
    Append(*batch);
    batch->count = 0;
    {
      std::lock_guard lock(mutex_);
      free_.push_back(std::move(batch));
    }
    changed_.notify_all();
  }
}

}  // namespace quillonwav
