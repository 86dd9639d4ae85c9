#pragma once
// Second counts as the time texts the view and the settings pages show.
// Each call returns its own text: the monitor thread formats too.

#include <cstdint>
#include <string>

namespace view {

// "HH:MM:SS"; hours are not limited (100 hours print as "100:00:00").
std::u16string FormatTime(uint32_t seconds);
// "(HH:MM:SS)"
std::u16string FormatTimeParen(uint32_t seconds);

}  // namespace view
