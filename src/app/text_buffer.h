#pragma once
// Texts kept in the fixed UTF-16 buffers of the transport and the settings
// record: copied whole when they fit, cut before the terminator otherwise.

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace app {

template <size_t N>
void CopyText(char16_t (&buffer)[N], std::u16string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), length, buffer);
  buffer[length] = u'\0';
}

}  // namespace app
