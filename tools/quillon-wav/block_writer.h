#pragma once
// Writes a recording from a run of device bytes: cut into 640-byte blocks as
// the recorder hands its buffers over, coded on the calling thread and
// appended, with the header brought up to date after every block, on a writer
// thread, so that the codec never waits for the file. Memory stays bounded:
// the caller waits while the writer is a few batches behind.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/wave_file_stream.h"

namespace quillonwav {

class BlockWriter {
 public:
  // blockAlign: bytes per frame of the stream's device format.
  BlockWriter(audio::WaveFileStream& stream, uint32_t blockAlign);
  ~BlockWriter();
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // Takes the next bytes (whole frames over all calls). False, with the last
  // error set, once a block could not be coded or written.
  bool Add(const uint8_t* data, size_t size);
  // Writes what is left as a last block (its whole frames, filled with
  // silence) and waits until everything is in the file. False, with the last
  // error set, when a block could not be written.
  bool Finish();

 private:
  struct Batch {
    std::vector<audio::WaveFileStream::CodedBlock> blocks;  // sized once
    size_t count = 0;
  };

  bool Code(const uint8_t* block, size_t bytes);
  bool HandOver();
  void Append(Batch& batch);
  void RunWriter();
  bool Failed();

  audio::WaveFileStream& stream_;
  const uint32_t align_;
  std::vector<uint8_t> pending_;  // bytes short of a whole block
  std::unique_ptr<Batch> current_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> full_;  // coded, waiting for the writer
  std::deque<std::unique_ptr<Batch>> free_;
  bool done_ = false;
  bool failed_ = false;
  int error_ = 0;  // the failed write's last error
  std::thread writer_;
};

}  // namespace quillonwav
