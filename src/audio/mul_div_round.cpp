#include "audio/mul_div_round.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace audio {

namespace {

// Truncation toward zero, saturating instead of the undefined out-of-range cast.
template <typename Int>
Int TruncateSaturating(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
  if (value <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
  return static_cast<Int>(value);
}

}  // namespace

int32_t MulDivRound(int32_t value, int32_t multiplier, int32_t divisor) {
  if (divisor == 0) return 0;
  const float product = static_cast<float>(value) * static_cast<float>(multiplier);
  const float quotient = product / static_cast<float>(divisor);
  return TruncateSaturating<int32_t>(static_cast<double>(quotient) + 0.5);
}

uint32_t RoundedQuotient(float numerator, uint32_t divisor) {
  if (divisor == 0) return 0;
  const float quotient = numerator / static_cast<float>(divisor);
  return TruncateSaturating<uint32_t>(static_cast<double>(quotient) + 0.5);
}

}  // namespace audio
