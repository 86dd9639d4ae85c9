#include "audio/playback_speed.h"

#include <algorithm>
#include <iterator>

namespace audio {
namespace {

constexpr uint32_t kSpeeds[] = {50, 75, 100, 125, 150, 200};

}  // namespace

std::span<const uint32_t> PlaybackSpeeds() { return kSpeeds; }

bool IsPlaybackSpeed(uint32_t percent) {
  return std::find(std::begin(kSpeeds), std::end(kSpeeds), percent) != std::end(kSpeeds);
}

uint32_t StepPlaybackSpeed(uint32_t percent, int steps) {
  const auto* at =
      std::find(std::begin(kSpeeds), std::end(kSpeeds), IsPlaybackSpeed(percent) ? percent : kNormalSpeed);
  const long index =
      std::clamp<long>((at - std::begin(kSpeeds)) + steps, 0, static_cast<long>(std::size(kSpeeds)) - 1);
  return kSpeeds[index];
}

std::u16string PlaybackSpeedText(uint32_t percent) {
  std::u16string text = std::u16string(1, static_cast<char16_t>(u'0' + percent / 100));
  uint32_t fraction = percent % 100;
  if (fraction != 0) {
    text += u'.';
    text += static_cast<char16_t>(u'0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char16_t>(u'0' + fraction % 10);
  }
  return text + u"\u00D7";
}

uint32_t ParsePlaybackSpeed(const std::string& text) {
  // Read by hand rather than with strtod, which follows the locale's decimal mark.
  size_t at = 0;
  uint64_t whole = 0, fraction = 0, scale = 1;
  bool digits = false;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && whole < 100000; ++at, digits = true)
    whole = whole * 10 + static_cast<uint64_t>(text[at] - '0');
  if (at < text.size() && text[at] == '.') {
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9' && scale < 100000;
         ++at, digits = true) {
      fraction = fraction * 10 + static_cast<uint64_t>(text[at] - '0');
      scale *= 10;
    }
  }
  const std::string rest = text.substr(at);
  if (!digits) return 0;
  uint64_t numerator;  // the speed in per cent, times scale
  if (rest.empty() || rest == "x" || rest == "\u00D7") {
    numerator = (whole * scale + fraction) * 100;
  } else if (rest == "%") {
    numerator = whole * scale + fraction;
  } else {
    return 0;
  }
  if (numerator % scale != 0) return 0;
  const uint64_t percent = numerator / scale;
  return percent <= 1000 && IsPlaybackSpeed(static_cast<uint32_t>(percent)) ? static_cast<uint32_t>(percent)
                                                                            : 0;
}

}  // namespace audio
