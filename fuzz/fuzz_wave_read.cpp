// Arbitrary bytes as a WAV file for playback: header parsing, reading both
// ways, seeking, the reported times, and the meter and amplifier run over
// every block with the format the file claims.
//
//   fuzz_wave_read -max_total_time=60 CORPUS_DIR tests/data/wav

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/level_measure.h"
#include "audio/wave_file_stream.h"
#include "diag/tracker.h"

namespace {

// One in-memory file for the whole run, opened by path like any other.
int MemoryFile() {
  static const int fd = memfd_create("fuzz-wav", 0);
  return fd;
}

// Reads blocks until Read stops, running the per-buffer steps on each.
void Drain(audio::WaveFileStream& stream, uint32_t direction, int limit) {
  audio::MeterState meter;
  meter.MeterFormat.store(stream.GetFormat());
  for (int i = 0; i < limit; ++i) {
    uint32_t size = audio::kDeviceBlockBytes;
    uint8_t* block = stream.Read(&size, direction);
    if (block == nullptr) return;
    audio::AmplifyBuffer(stream.GetFormat(), block, size);
    meter.Dirty.store(false);
    audio::MeasureLevel(&meter, block, size);
    diag::TrackedDelete(block);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile();
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  audio::WaveFileStream stream;
  if (!stream.Open(std::u16string(path.begin(), path.end()), audio::kStreamRead)) return 0;
  stream.GetLengthSeconds();
  // Every block is at least one byte of input, so the file bounds the loops;
  // the limit only keeps a huge input from taking long.
  const int limit = 100000;
  Drain(stream, audio::kReadForward, limit);
  Drain(stream, audio::kReadBackward, limit);
  stream.SeekPercent(50);
  Drain(stream, audio::kReadForwardScan, 3);
  stream.SeekPercent(100);
  Drain(stream, audio::kReadForward, limit);
  stream.GetPositionSeconds();
  stream.SeekPercent(0);
  Drain(stream, audio::kReadBackward, 2);
  Drain(stream, audio::kReadForward, 2);
  stream.Close();
  return 0;
}
