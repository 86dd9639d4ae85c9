#pragma once
// The General page's view of the recording formats: the slider runs through
// the audio layer's seven presets, from "Long Time" (GSM 6.10) to "High
// Fidelity" (22 kHz 16-bit PCM); the page shows each preset's labels, counts
// its round byte rate for the time estimate and warns for the three highest.

#include <cstdint>
#include <optional>

namespace sheet {

struct FormatRow {
  int32_t formatId;
  const char16_t* name;
  const char16_t* bitRate;
  const char16_t* sampleRate;
  uint32_t byteRate;
  bool warning;  // the rate may be too high for a storage card
};

// The format at a slider position (1..7); 0 for any other position.
int32_t FormatIdAtPosition(int position);
// The slider position of a format; 0 for a format not in the table.
int PositionOfFormat(int32_t formatId);
// What the page shows for a format; nothing for a format not in the table.
std::optional<FormatRow> FindFormatRow(int32_t formatId);

}  // namespace sheet
