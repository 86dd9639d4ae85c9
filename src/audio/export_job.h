#pragma once
// Exporting a recording to a file people can send: Ogg Opus, FLAC, MP3 or
// 16-bit WAV (audio/export_format.h), with the recording's title and date
// in its tags. The recording is read as the player reads it (GSM decoded),
// converted to the format's rate where it needs one, and written in chunks,
// so memory stays the same however long it is.
//
// The file is written under a hidden temporary name beside the target and
// put in its place only when complete: a cancelled or failed export leaves
// nothing behind, and an older file of that name stays as it was until
// then. The recording itself is only ever read.

#include <cstdint>
#include <functional>
#include <string>

#include "audio/export_format.h"

namespace audio {

struct ExportRequest {
  // The recording: a device path ("\My Documents\Quillon\Recording00.wav")
  // or an absolute host path ("/...").
  std::u16string Source;
  // The file to write: a host path (UTF-8).
  std::string Target;
  ExportFormat Format = ExportFormat::Opus;
  // Empty: the recording's name ("Recording00") and the day it was
  // recorded (its file's time, "YYYY-MM-DD").
  std::string Title;
  std::string Date;
  // Target is written as it stands, without a temporary file of the
  // export's own: for a caller that already writes through one and puts it
  // in place (quillon-wav), and removes it on failure.
  bool Direct = false;
};

enum class ExportOutcome { Done, Cancelled, Failed };

struct ExportResult {
  ExportOutcome Outcome = ExportOutcome::Failed;
  // Why it failed or stopped, in the program's words; Error, when not 0,
  // is the system's code for it (its text is shown after).
  std::u16string Message;
  int Error = 0;
  // What was written: rate, channels and frames at that rate.
  uint32_t Rate = 0;
  uint32_t Channels = 0;
  uint64_t Frames = 0;
};

// Told as the export goes on: frames of the recording done, out of total.
// Returning false cancels. Called on the exporting thread.
using ExportProgress = std::function<bool(uint64_t done, uint64_t total)>;

ExportResult ExportRecording(const ExportRequest& request, const ExportProgress& progress = {});

// The texts the results carry, for callers that compare.
inline constexpr char16_t kExportCancelled[] = u"The export was cancelled. No file was written.";

}  // namespace audio
