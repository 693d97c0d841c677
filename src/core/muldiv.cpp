#include "core/muldiv.h"

namespace vle {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t product = int64_t{a} * b;
  int64_t divisor = c;
  if (divisor < 0) {
    product = -product;  // |a * b| <= 2^62, so negation cannot overflow
    divisor = -divisor;
  }
  const int64_t half = divisor / 2;
  const int64_t q = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int32_t>(q);
}

}  // namespace vle
