#pragma once
// The formats a recording is exported to, all written by libsndfile: Ogg
// Opus (the default, at a bit rate for speech), FLAC, MP3 and WAV with
// 16-bit PCM. Each has the sample rates it can hold; a recording at another
// rate is converted to the nearest one above it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace audio {

enum class ExportFormat { Opus, Flac, Mp3, Wav };

struct ExportFormatInfo {
  ExportFormat Format;
  const char* Key;        // "opus": the name quillon-wav takes
  const char16_t* Name;   // "Ogg Opus": what the save dialog shows
  const char* Extension;  // ".opus"
  int SndfileFormat;      // major and sub format for sf_open
  // The rates it holds, ascending; empty: any rate.
  std::span<const uint32_t> Rates;
};

// Every format, the default (Opus) first.
std::span<const ExportFormatInfo> ExportFormats();
const ExportFormatInfo& ExportFormatInfoFor(ExportFormat format);
// By key ("opus", "ogg", "flac", "mp3", "wav"; any letter case).
std::optional<ExportFormat> ExportFormatByKey(const std::string& key);
// By a file name's extension (".opus" or ".ogg", ".flac", ".mp3", ".wav";
// any letter case); nothing for another one.
std::optional<ExportFormat> ExportFormatForPath(const std::string& path);
// The rate a recording of sourceRate is written at: its own when the format
// holds it, else the lowest one above it, else the highest.
uint32_t ExportRate(ExportFormat format, uint32_t sourceRate);
// Whether this build of libsndfile writes the format at that rate and
// channel count (sf_format_check).
bool CanExport(ExportFormat format, uint32_t rate, uint32_t channels);
// The Opus bit rate for speech, per channel: 16 kbit/s at 8 kHz (narrow
// band), 20 at 12 kHz, 24 at 16 and 24 kHz, 32 at 48 kHz.
uint32_t OpusSpeechBitRate(uint32_t rate);

}  // namespace audio
