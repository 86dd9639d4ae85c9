#pragma once
// Recording formats: the format identifiers kept in the settings record, the
// wave formats they stand for, and the seven presets of the settings slider
// with their labels and the byte rates used for the remaining-time estimate.

#include <cstdint>
#include <span>

#include "audio/wave_format_ex.h"

namespace audio {

// Format identifiers. PCM identifiers are single bits naming a rate and
// sample width, all mono; 49 is GSM 6.10 in the WAV49 packing.
inline constexpr uint32_t kFormatPcm11k8 = 1;
inline constexpr uint32_t kFormatPcm11k16 = 4;
inline constexpr uint32_t kFormatPcm22k8 = 16;
inline constexpr uint32_t kFormatPcm22k16 = 64;
inline constexpr uint32_t kFormatPcm44k8 = 256;
inline constexpr uint32_t kFormatPcm44k16 = 1024;
inline constexpr uint32_t kFormatPcm8k8 = 4096;
inline constexpr uint32_t kFormatPcm8k16 = 8192;
inline constexpr uint32_t kFormatGsm610 = 49;

// Slider positions run from 1 to kPresetCount.
inline constexpr int kPresetCount = 7;

// The three labels a preset shows: format, bit rate, sample rate.
struct PresetLabels {
  const char16_t* Format;
  const char16_t* BitRate;
  const char16_t* SampleRate;
};

// The PCM wave format of an identifier: {tag 1, 1 channel, rate,
// rate x bits / 8, bits / 8, bits, 0}. Any identifier that is not a PCM one
// (49 included) gives tag 1 with every other field 0, and false.
bool PcmFormatForId(uint32_t formatId, WaveFormatEx* format);

// The GSM 6.10 format block: tag 0x31, 1 channel, 8000 Hz, 1625 bytes per
// second, block align 65, 0 bits, extra size 2, 320 samples per block.
GsmWaveFormat MakeGsmFormat();

// The format the device sees for every GSM stream, shared by all of them:
// 8000 Hz 16-bit mono PCM with extra size 1, which marks it as GSM.
const WaveFormatEx* GsmDeviceFormat();
bool IsGsmDeviceFormat(const WaveFormatEx* format);

// Slider position <-> identifier; anything outside the table gives 0.
uint32_t PresetToFormatId(int position);
int FormatIdToPreset(uint32_t formatId);

// The labels of a preset identifier, null for an identifier without a preset.
const PresetLabels* PresetLabelsForId(uint32_t formatId);
// The label groups in the order they are stored.
std::span<const PresetLabels> PresetLabelGroups();
// Bytes per second for the remaining-time estimate; 0 without a preset.
uint32_t PresetBytesPerSecond(uint32_t formatId);

// "GSM (WAV)" for 49, "PCM (WAV)" for any other identifier.
const char16_t* FormatName(uint32_t formatId);
// The same name for a stream's device format (extra size 1 means GSM).
const char16_t* FormatNameForDeviceFormat(const WaveFormatEx* format);

}  // namespace audio
