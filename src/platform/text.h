#pragma once
// UTF-16 <-> UTF-8 conversion: the program holds text as UTF-16, the host's
// paths and terminal are UTF-8.

#include <string>
#include <string_view>

namespace platform {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace platform
