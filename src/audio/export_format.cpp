#include "audio/export_format.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

namespace audio {
namespace {

// Opus codes at five rates only; MP3 at the nine of MPEG 1, 2 and 2.5.
constexpr uint32_t kOpusRates[] = {8000, 12000, 16000, 24000, 48000};
constexpr uint32_t kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

const ExportFormatInfo kFormats[] = {
    {ExportFormat::Opus, "opus", u"Ogg Opus", ".opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, kOpusRates},
    {ExportFormat::Flac, "flac", u"FLAC", ".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {}},
    {ExportFormat::Mp3, "mp3", u"MP3", ".mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, kMp3Rates},
    {ExportFormat::Wav, "wav", u"WAV (16-bit PCM)", ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, {}},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::span<const ExportFormatInfo> ExportFormats() { return kFormats; }

const ExportFormatInfo& ExportFormatInfoFor(ExportFormat format) {
  for (const ExportFormatInfo& info : kFormats)
    if (info.Format == format) return info;
  return kFormats[0];
}

std::optional<ExportFormat> ExportFormatByKey(const std::string& key) {
  const std::string lower = Lower(key);
  if (lower == "ogg") return ExportFormat::Opus;
  for (const ExportFormatInfo& info : kFormats)
    if (lower == info.Key) return info.Format;
  return std::nullopt;
}

std::optional<ExportFormat> ExportFormatForPath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  return ExportFormatByKey(path.substr(dot + 1));
}

uint32_t ExportRate(ExportFormat format, uint32_t sourceRate) {
  const std::span<const uint32_t> rates = ExportFormatInfoFor(format).Rates;
  if (rates.empty()) return sourceRate;
  const auto above = std::lower_bound(rates.begin(), rates.end(), sourceRate);
  return above != rates.end() ? *above : rates.back();
}

bool CanExport(ExportFormat format, uint32_t rate, uint32_t channels) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(channels);
  info.format = ExportFormatInfoFor(format).SndfileFormat;
  return sf_format_check(&info) != 0;
}

uint32_t OpusSpeechBitRate(uint32_t rate) {
  if (rate <= 8000) return 16000;
  if (rate <= 12000) return 20000;
  if (rate <= 24000) return 24000;
  return 32000;
}

}  // namespace audio
