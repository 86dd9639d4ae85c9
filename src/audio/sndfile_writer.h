#pragma once
// One export format written by libsndfile through its virtual I/O onto a
// file descriptor the caller owns, so that every failed write is seen with
// the system's reason: libsndfile's own file layer, and its MP3 coder in
// particular, let a short write pass with a note in its log.

#include <cstdint>
#include <string>

#include "audio/export_format.h"

struct sf_private_tag;  // libsndfile's SNDFILE

namespace audio {

class SndfileWriter {
 public:
  SndfileWriter() = default;
  ~SndfileWriter();
  SndfileWriter(const SndfileWriter&) = delete;
  SndfileWriter& operator=(const SndfileWriter&) = delete;

  // Starts the file on fd (positioned at 0, opened for reading and
  // writing; it stays open) with its tags, at a bit rate for speech where
  // the format has one. False with Error or Message set.
  bool Open(int fd, ExportFormat format, uint32_t rate, uint32_t channels, const std::string& title,
            const std::string& date);
  // Interleaved 16-bit frames. False when the file cannot be written.
  bool Write(const int16_t* samples, uint64_t frames);
  // Flushes the coder and completes the container. False when that failed.
  bool Close();

  // The system's error code of the first failed read, write or seek, or 0.
  int Error() const { return io_.error; }
  // libsndfile's text for a failure that has no system code.
  const std::string& Message() const { return message_; }

 private:
  struct Io {
    int fd = -1;
    int error = 0;
  };
  bool Failed(const char* fallback);

  Io io_;
  sf_private_tag* file_ = nullptr;
  std::string message_;
};

}  // namespace audio
