#include "view/time_text.h"

#include <cstdio>

namespace view {
namespace {

std::u16string Format(const char* pattern, uint32_t seconds) {
  const uint32_t hours = seconds / 3600;
  const uint32_t minutes = (seconds % 3600) / 60;
  const uint32_t secs = (seconds % 3600) % 60;
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, pattern, hours, minutes, secs);
  // The text is plain ASCII digits and punctuation.
  return std::u16string(buffer, buffer + (n > 0 ? n : 0));
}

}  // namespace

std::u16string FormatTime(uint32_t seconds) { return Format("%02u:%02u:%02u", seconds); }

std::u16string FormatTimeParen(uint32_t seconds) { return Format("(%02u:%02u:%02u)", seconds); }

}  // namespace view
