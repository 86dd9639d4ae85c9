// quillon-wav encode --format ID IN.wav OUT.wav: makes a recording of the
// given format from any WAV file the player opens. The input is converted to
// mono, to the format's rate (libsamplerate) and to its sample width only
// where it differs, then written through WaveFileStream in 640-byte device
// blocks as the recorder writes them; the last GSM block is filled with silence.

#include <cstdlib>

#include "audio/format_presets.h"
#include "cli.h"
#include "commands.h"
#include "diag/tracker.h"
#include "sample_convert.h"

namespace quillonwav {

namespace {

const char* kUsage = "encode --format ID IN.wav OUT.wav";

// A known format identifier from text, or 0.
uint32_t ParseFormatId(const std::string& text) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul) return 0;
  const auto id = static_cast<uint32_t>(value);
  audio::WaveFormatEx pcm{};
  return id == audio::kFormatGsm610 || audio::PcmFormatForId(id, &pcm) ? id : 0;
}

// Every byte playback would send to the device, in order.
std::vector<uint8_t> ReadDeviceBytes(audio::WaveFileStream& stream) {
  std::vector<uint8_t> bytes;
  for (;;) {
    uint32_t size = audio::kDeviceBlockBytes;
    uint8_t* block = stream.Read(&size, audio::kReadForward);
    if (block == nullptr) return bytes;
    bytes.insert(bytes.end(), block, block + size);
    diag::TrackedDelete(block);
  }
}

}  // namespace

int RunEncode(const Args& args) {
  uint32_t formatId = 0;
  Args files;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    if (args[i] == "--format") {
      if (i + 1 == args.size()) return UsageError("--format needs a format identifier", kUsage);
      value = args[++i];
    } else if (args[i].rfind("--format=", 0) == 0) {
      value = args[i].substr(9);
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return UsageError("unknown option " + args[i], kUsage);
    } else {
      files.push_back(args[i]);
      continue;
    }
    formatId = ParseFormatId(value);
    if (formatId == 0) {
      return UsageError("unknown format " + value + " (one of 1, 4, 16, 64, 256, 1024, 4096, 8192, 49)", kUsage);
    }
  }
  if (formatId == 0) return UsageError("--format is required", kUsage);
  if (files.size() != 2) return UsageError("encode takes an input and an output file", kUsage);

  audio::WaveFileStream input;
  if (!OpenForReading(input, files[0])) return 1;
  const audio::WaveFormatEx in = *input.GetFormat();
  const std::vector<uint8_t> inBytes = ReadDeviceBytes(input);
  input.Close();

  // The device format a recording of this identifier has.
  audio::WaveFileStream output;
  output.SetFormat(formatId);
  const audio::WaveFormatEx target = *output.GetFormat();

  std::vector<uint8_t> outBytes;
  const bool same = in.Channels == 1 && in.SamplesPerSec == target.SamplesPerSec &&
                    in.BitsPerSample == target.BitsPerSample && in.BlockAlign == target.BlockAlign;
  if (same) {
    outBytes = inBytes;
  } else {
    const std::vector<float> mono = MixToMono(ToFloat(inBytes, in), in.Channels);
    std::vector<float> resampled;
    std::string error;
    if (!Resample(mono, in.SamplesPerSec, target.SamplesPerSec, &resampled, &error)) return Fail(files[0], error);
    outBytes = FromFloat(resampled, target.BitsPerSample);
  }

  if (!output.Open(EnginePath(files[1]), audio::kStreamWrite)) return FailWithLastError(files[1]);
  const uint32_t align = target.BlockAlign;
  for (size_t at = 0; at < outBytes.size(); at += audio::kDeviceBlockBytes) {
    std::vector<uint8_t> block(outBytes.begin() + static_cast<std::ptrdiff_t>(at),
                               outBytes.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min<size_t>(at + audio::kDeviceBlockBytes, outBytes.size())));
    const auto frames = static_cast<uint32_t>(block.size() / align);
    block.resize(audio::kDeviceBlockBytes, 0);
    if (!output.Write(block.data(), frames)) return FailWithLastError(files[1]);
  }
  output.Close();
  return 0;
}

}  // namespace quillonwav
