// Where the rows of a host frame lie, for the drawing operations. Derived from the adapter's
// format, width and height alone, so that derived fields left over from an earlier format cannot
// send a write astray.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/frame_adapter.h"

namespace vle {

// Which bytes of a Yuy2 pair (Y0 Cb Y1 Cr, little-endian word) a pixel of a row owns.
constexpr uint32_t kWholePair = 0xFFFFFFFFu;
constexpr uint32_t kFirstLumaAndChroma = 0xFF00FFFFu;
constexpr uint32_t kSecondLuma = 0x00FF0000u;

struct FrameLayout {
  uint8_t* topRow;         // first byte of picture row 0
  std::ptrdiff_t rowStep;  // bytes from picture row y to y + 1
  int32_t bytesPerPixel;
  // Columns that may be drawn. On Yuy2 a last column of an odd width has no whole pair inside its
  // row (its chroma would lie in the next row or past the frame), so drawing stops before it.
  int32_t drawWidth;
  int32_t height;
};

// False, and nothing may be drawn, for formats other than Yuy2 and Bgr24, non-positive sizes,
// rows longer than 2^31 - 1 bytes or frames larger than the address space.
inline bool DescribeFrame(const FrameAdapter& adapter, uint8_t* pixels, FrameLayout* out) {
  if (pixels == nullptr || adapter.width <= 0 || adapter.height <= 0) return false;
  int32_t bytesPerPixel;
  if (adapter.format == kYuy2) {
    bytesPerPixel = 2;
  } else if (adapter.format == kBgr24) {
    bytesPerPixel = 3;
  } else {
    return false;
  }
  const int64_t rowBytes = int64_t{bytesPerPixel} * adapter.width;
  if (rowBytes > INT32_MAX) return false;
  if (rowBytes * adapter.height > int64_t{PTRDIFF_MAX}) return false;
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(rowBytes);
  if (adapter.format == kYuy2) {
    *out = FrameLayout{pixels, row, 2, adapter.width & ~1, adapter.height};
  } else {
    *out = FrameLayout{pixels + row * (adapter.height - 1), -row, 3, adapter.width, adapter.height};
  }
  return out->drawWidth > 0;
}

}  // namespace vle
