// Where the rows of a host frame lie: the one description of a frame's rows for every reader and
// writer of frames (import, capture, drawing). Derived from the adapter's format, width and height
// alone, so that fields left over from an earlier format cannot send a read or write astray.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/surface_size.h"
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
  int32_t width;  // columns the frame holds
  // Columns that may be drawn. On Yuy2 a last column of an odd width has no whole pair inside its
  // row (its chroma would lie in the next row or past the frame), so drawing stops before it.
  int32_t drawWidth;
  int32_t height;

  uint8_t* Row(int32_t y) const { return topRow + rowStep * y; }
};

// False, and nothing may be read or written, for formats other than Yuy2 and Bgr24, non-positive
// sizes, rows longer than 2^31 - 1 bytes or frames larger than the address space.
inline bool DescribeFrame(const FrameAdapter& adapter, uint8_t* pixels, FrameLayout* out) {
  if (pixels == nullptr) return false;
  int32_t bytesPerPixel;
  if (adapter.format == kYuy2) {
    bytesPerPixel = 2;
  } else if (adapter.format == kBgr24) {
    bytesPerPixel = 3;
  } else {
    return false;
  }
  if (!SurfaceAddressable(adapter.width, adapter.height, bytesPerPixel) ||
      !SurfaceAddressable(adapter.width, 1, bytesPerPixel, INT32_MAX)) {
    return false;
  }
  const int64_t rowBytes = int64_t{bytesPerPixel} * adapter.width;
  const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(rowBytes);
  if (adapter.format == kYuy2) {
    *out = FrameLayout{pixels, row, 2, adapter.width, adapter.width & ~1, adapter.height};
  } else {  // bottom-up: the top picture row is the last one in memory
    *out = FrameLayout{pixels + row * (adapter.height - 1), -row, 3, adapter.width, adapter.width,
                       adapter.height};
  }
  return true;
}

// The same for readers; they never write through the layout's pointers.
inline bool DescribeFrame(const FrameAdapter& adapter, const uint8_t* pixels, FrameLayout* out) {
  return DescribeFrame(adapter, const_cast<uint8_t*>(pixels), out);
}

// DescribeFrame for drawing: also false when no column may be drawn (a Yuy2 frame one pixel wide).
inline bool DescribeDrawableFrame(const FrameAdapter& adapter, uint8_t* pixels, FrameLayout* out) {
  return DescribeFrame(adapter, pixels, out) && out->drawWidth > 0;
}

}  // namespace vle
