// quillon-wav encode --format ID IN.wav OUT.wav: makes a recording of the
// given format from any WAV file the player opens. The input is converted to
// mono, to the format's rate (libsamplerate) and to its sample width only
// where it differs, then written through WaveFileStream in 640-byte device
// blocks as the recorder writes them; the last GSM block is filled with
// silence. The input is read in chunks as it is written, so memory stays the
// same whatever its length.
//
// quillon-wav encode [--format opus|flac|mp3|wav] IN.wav OUT: the program's
// export instead (audio/export_job.h), the format named or told by OUT's
// extension (.opus or .ogg, .flac, .mp3, .wav).

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "audio/export_job.h"
#include "audio/format_presets.h"
#include "audio/sample_convert.h"
#include "block_writer.h"
#include "cli.h"
#include "commands.h"
#include "diag/tracker.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "safe_output.h"

namespace quillonwav {

namespace {

const char* kUsage = "encode --format ID IN.wav OUT.wav | encode [--format opus|flac|mp3|wav] IN.wav OUT";

// A known format identifier from text, or 0.
uint32_t ParseFormatId(const std::string& text) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul) return 0;
  const auto id = static_cast<uint32_t>(value);
  audio::WaveFormatEx pcm{};
  return id == audio::kFormatGsm610 || audio::PcmFormatForId(id, &pcm) ? id : 0;
}

// Input read per call: a hundred device blocks' worth of bytes.
constexpr uint32_t kChunkBytes = 100 * audio::kDeviceBlockBytes;

// The export of the program, to a file in one of the formats people send,
// written through the command's own temporary file as every output is.
int Export(const std::string& in, const std::string& outName, audio::ExportFormat format) {
  SafeOutput out(outName);
  if (!out.Prepare({in}, true)) return 1;
  out.RemoveOnSignal();
  audio::ExportRequest request;
  request.Source = EnginePath(in);
  request.Target = platform::ToUtf8(EnginePath(out.WritePath()));
  request.Format = format;
  request.Direct = true;
  const audio::ExportResult result = audio::ExportRecording(request);
  if (result.Outcome != audio::ExportOutcome::Done) {
    std::string message = platform::ToUtf8(result.Message);
    if (result.Error != 0) message += " " + platform::ToUtf8(platform::SystemErrorText(result.Error));
    return Fail(in, message);
  }
  return out.Commit() ? 0 : 1;
}

}  // namespace

int RunEncode(const Args& args) {
  uint32_t formatId = 0;
  std::optional<audio::ExportFormat> exportFormat;
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
    exportFormat = audio::ExportFormatByKey(value);
    if (formatId == 0 && !exportFormat) {
      return UsageError("unknown format " + value +
                            " (opus, flac, mp3, wav, or one of 1, 4, 16, 64, 256, 1024, 4096, 8192, 49)",
                        kUsage);
    }
  }
  if (files.size() != 2) return UsageError("encode takes an input and an output file", kUsage);
  if (formatId == 0) {
    if (!exportFormat) exportFormat = audio::ExportFormatForPath(files[1]);
    if (!exportFormat) {
      return UsageError("the format cannot be told from " + files[1] + ": give --format", kUsage);
    }
    return Export(files[0], files[1], *exportFormat);
  }

  SafeOutput out(files[1]);
  if (!out.Prepare({files[0]}, true)) return 1;
  out.RemoveOnSignal();
  audio::WaveFileStream input;
  if (!OpenForReading(input, files[0])) return 1;
  const audio::WaveFormatEx in = *input.GetFormat();

  // The device format a recording of this identifier has.
  audio::WaveFileStream output;
  output.SetFormat(formatId);
  const audio::WaveFormatEx target = *output.GetFormat();
  const bool same = in.Channels == 1 && in.SamplesPerSec == target.SamplesPerSec &&
                    in.BitsPerSample == target.BitsPerSample && in.BlockAlign == target.BlockAlign;

  if (!output.Open(EnginePath(out.WritePath()), audio::kStreamWrite)) return FailWithLastError(files[1]);
  BlockWriter writer(output, target.BlockAlign);
  audio::SampleConverter converter(in, target);
  std::vector<uint8_t> converted;
  std::string error;
  // One chunk at a time, so that the memory used does not grow with the input.
  for (bool last = false; !last;) {
    uint32_t size = kChunkBytes;
    uint8_t* chunk = input.Read(&size, audio::kReadForward);
    // Null at the end of the data, or when the file cannot be read on.
    if (chunk == nullptr && input.GetEdgeState() != audio::kEdgeEnd) return FailWithLastError(files[0]);
    if (chunk == nullptr) size = 0;
    last = input.GetEdgeState() == audio::kEdgeEnd;
    converted.clear();
    const bool convertedOk = same || converter.Convert(chunk, size, last, &converted, &error);
    const bool added = convertedOk && (same ? writer.Add(chunk, size) : writer.Add(converted.data(), converted.size()));
    diag::TrackedDelete(chunk);
    if (!convertedOk) return Fail(files[0], error);
    if (!added) return FailWithLastError(files[1]);
  }
  if (!writer.Finish()) return FailWithLastError(files[1]);
  output.Close();
  return out.Commit() ? 0 : 1;
}

}  // namespace quillonwav
