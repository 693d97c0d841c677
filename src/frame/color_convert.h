// Colour conversions shared by the frame import and the overlay drawing. Integer-exact: the SIMD
// row routines reproduce these results bit for bit.
#pragma once

#include <cstdint>

namespace vle {

struct YCbCr {
  uint8_t y;
  uint8_t cb;
  uint8_t cr;
};

// Full-range YCbCr from 8-bit R, G, B with JFIF weights scaled by 32768: sums in 32-bit signed
// arithmetic, floor division (arithmetic shift), chroma offset 128. The blue luma weight is 3735
// rather than 3736 so the three luma weights sum to 32768 and white gives 255. For inputs in
// 0..255 every result lies in 0..255 without clamping.
constexpr YCbCr RgbToYcbcr(int32_t r, int32_t g, int32_t b) {
  const int32_t y = (3735 * b + 19235 * g + 9798 * r) >> 15;
  const int32_t cb = ((16384 * b - 10855 * g - 5529 * r) >> 15) + 128;
  const int32_t cr = ((-2664 * b - 13720 * g + 16384 * r) >> 15) + 128;
  return YCbCr{static_cast<uint8_t>(y), static_cast<uint8_t>(cb), static_cast<uint8_t>(cr)};
}

static_assert((-1 >> 1) == -1, "floor division relies on arithmetic right shifts");

}  // namespace vle
