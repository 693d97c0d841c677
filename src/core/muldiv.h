// Multiply-then-divide with the Win32 MulDiv contract, used for every per-mille and percent
// computation (region rectangle, export size, buffer slack).
#pragma once

#include <cstdint>

namespace vle {

// a * b formed in 64 bits, divided by c, rounded to the nearest integer with halves away from
// zero (for negative operands too). Returns -1 when c is 0 or the result does not fit in 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

}  // namespace vle
