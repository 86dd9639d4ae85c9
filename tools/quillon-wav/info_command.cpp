// quillon-wav info FILE.wav: what the player would make of a file.

#include <cstdio>

#include "audio/format_presets.h"
#include "cli.h"
#include "commands.h"
#include "platform/text.h"

namespace quillonwav {

int RunInfo(const Args& args) {
  const char* usage = "info FILE.wav";
  if (args.size() != 1) return UsageError("info takes one file", usage);
  audio::WaveFileStream stream;
  if (!OpenForReading(stream, args[0])) return 1;

  // The device's view of the stream: GSM plays as 8000 Hz 16-bit mono.
  const audio::WaveFormatEx* format = stream.GetFormat();
  const uint32_t seconds = stream.GetLengthSeconds();
  std::printf("File: %s\n", args[0].c_str());
  std::printf("Format: %s\n", platform::ToUtf8(audio::FormatNameForDeviceFormat(format)).c_str());
  std::printf("Sample rate: %u Hz\n", format->SamplesPerSec);
  std::printf("Bits per sample: %u\n", format->BitsPerSample);
  std::printf("Channels: %u\n", format->Channels);
  if (stream.IsGsm()) {
    std::printf("Pairs: %u\n", stream.GetDataBytes() / audio::kGsmPairBytes);
  } else {
    std::printf("Frames: %u\n", stream.GetLengthFrames());
  }
  std::printf("Length: %u s (%s)\n", seconds, FormatSeconds(seconds).c_str());
  return 0;
}

}  // namespace quillonwav
