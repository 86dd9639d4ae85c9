#include "sheet/format_table.h"

#include "audio/format_presets.h"

namespace sheet {

namespace {

// The presets a storage card may not keep up with.
bool Warns(uint32_t formatId) {
  return formatId == audio::kFormatPcm11k16 || formatId == audio::kFormatPcm22k8 ||
         formatId == audio::kFormatPcm22k16;
}

}  // namespace

int32_t FormatIdAtPosition(int position) { return static_cast<int32_t>(audio::PresetToFormatId(position)); }

int PositionOfFormat(int32_t formatId) { return audio::FormatIdToPreset(static_cast<uint32_t>(formatId)); }

std::optional<FormatRow> FindFormatRow(int32_t formatId) {
  const auto id = static_cast<uint32_t>(formatId);
  const audio::PresetLabels* labels = audio::PresetLabelsForId(id);
  if (labels == nullptr) return std::nullopt;
  return FormatRow{
      formatId, labels->Format, labels->BitRate, labels->SampleRate, audio::PresetBytesPerSecond(id),
      Warns(id)};
}

}  // namespace sheet
