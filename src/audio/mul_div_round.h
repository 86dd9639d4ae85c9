#pragma once
// The program's one rounding helper for percentages, levels and font sizes.

#include <cstdint>

namespace audio {

// value x multiplier / divisor, rounded half up: the product and quotient are
// formed in single precision, 0.5 is added in double precision and the sum is
// truncated. Results outside the int32 range saturate; a divisor of 0 gives 0.
int32_t MulDivRound(int32_t value, int32_t multiplier, int32_t divisor);

// Whole seconds (or any quotient the program shows) of numerator / divisor by
// the same rule, for unsigned counters: 0 when the divisor is 0.
uint32_t RoundedQuotient(float numerator, uint32_t divisor);

}  // namespace audio
