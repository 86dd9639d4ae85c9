#include "audio/format_presets.h"

#include <array>
#include <iterator>

#include "settings/record_ranges.h"

namespace audio {

namespace {

struct PcmEntry {
  uint32_t Id;
  uint32_t Rate;
  uint16_t Bits;
};

constexpr std::array<PcmEntry, 8> kPcmFormats = {{
    {kFormatPcm11k8, 11025, 8},
    {kFormatPcm11k16, 11025, 16},
    {kFormatPcm22k8, 22050, 8},
    {kFormatPcm22k16, 22050, 16},
    {kFormatPcm44k8, 44100, 8},
    {kFormatPcm44k16, 44100, 16},
    {kFormatPcm8k8, 8000, 8},
    {kFormatPcm8k16, 8000, 16},
}};

// Stored in this order; kPresets below points into it.
constexpr std::array<PresetLabels, kPresetCount> kLabelGroups = {{
    {u"PCM", u"16 kb/sec", u"8 kHz"},
    {u"PCM", u"8 kb/sec", u"8 kHz"},
    {u"PCM", u"44 kb/sec", u"22 kHz"},
    {u"GSM", u"2 kb/sec", u"8 kHz"},
    {u"PCM", u"22 kb/sec", u"22 kHz"},
    {u"PCM", u"22 kb/sec", u"11 kHz"},
    {u"PCM", u"11 kb/sec", u"11 kHz"},
}};

struct Preset {
  uint32_t Id;
  int LabelGroup;
  uint32_t BytesPerSecond;
};

// Indexed by slider position - 1.
constexpr std::array<Preset, kPresetCount> kPresets = {{
    {kFormatGsm610, 3, 2000},
    {kFormatPcm8k8, 1, 8000},
    {kFormatPcm11k8, 6, 11000},
    {kFormatPcm8k16, 0, 16000},
    {kFormatPcm11k16, 5, 22000},
    {kFormatPcm22k8, 4, 22000},
    {kFormatPcm22k16, 2, 44000},
}};

// The settings read a FormatId outside this table as the default.
constexpr bool SameAsSettings() {
  if (std::size(settings::kRecordingFormatIds) != kPresets.size()) return false;
  for (size_t i = 0; i < kPresets.size(); ++i) {
    if (static_cast<uint32_t>(settings::kRecordingFormatIds[i]) != kPresets[i].Id) return false;
  }
  return true;
}
static_assert(SameAsSettings(), "the presets are the recording formats the settings accept");

const Preset* FindPreset(uint32_t formatId) {
  for (const Preset& preset : kPresets) {
    if (preset.Id == formatId) return &preset;
  }
  return nullptr;
}

const WaveFormatEx kGsmDeviceFormat = {kWaveFormatPcm, 1, 8000, 16000, 2, 16, 1};

}  // namespace

bool PcmFormatForId(uint32_t formatId, WaveFormatEx* format) {
  *format = WaveFormatEx{};
  format->FormatTag = kWaveFormatPcm;
  for (const PcmEntry& entry : kPcmFormats) {
    if (entry.Id != formatId) continue;
    format->Channels = 1;
    format->SamplesPerSec = entry.Rate;
    format->AvgBytesPerSec = entry.Rate * entry.Bits / 8;
    format->BlockAlign = static_cast<uint16_t>(entry.Bits / 8);
    format->BitsPerSample = entry.Bits;
    format->ExtraSize = 0;
    return true;
  }
  return false;
}

GsmWaveFormat MakeGsmFormat() {
  GsmWaveFormat gsm{};
  gsm.Format = {kWaveFormatGsm610, 1, 8000, 1625, 65, 0, 2};
  gsm.SamplesPerBlock = 320;
  return gsm;
}

const WaveFormatEx* GsmDeviceFormat() { return &kGsmDeviceFormat; }

bool IsGsmDeviceFormat(const WaveFormatEx* format) { return format != nullptr && format->ExtraSize == 1; }

uint32_t PresetToFormatId(int position) {
  if (position < 1 || position > kPresetCount) return 0;
  return kPresets[static_cast<size_t>(position - 1)].Id;
}

int FormatIdToPreset(uint32_t formatId) {
  const Preset* preset = FindPreset(formatId);
  return preset == nullptr ? 0 : static_cast<int>(preset - kPresets.data()) + 1;
}

const PresetLabels* PresetLabelsForId(uint32_t formatId) {
  const Preset* preset = FindPreset(formatId);
  return preset == nullptr ? nullptr : &kLabelGroups[static_cast<size_t>(preset->LabelGroup)];
}

std::span<const PresetLabels> PresetLabelGroups() { return kLabelGroups; }

uint32_t PresetBytesPerSecond(uint32_t formatId) {
  const Preset* preset = FindPreset(formatId);
  return preset == nullptr ? 0 : preset->BytesPerSecond;
}

const char16_t* FormatName(uint32_t formatId) { return formatId == kFormatGsm610 ? u"GSM (WAV)" : u"PCM (WAV)"; }

const char16_t* FormatNameForDeviceFormat(const WaveFormatEx* format) {
  return IsGsmDeviceFormat(format) ? u"GSM (WAV)" : u"PCM (WAV)";
}

}  // namespace audio
