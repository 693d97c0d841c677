#include <cstdint>

#include "core/muldiv.h"
#include "frame/frame_adapter.h"

namespace vle {

void FrameAdapter::SetFormat(int32_t w, int32_t h, int32_t pixelFormat) {
  width = w;
  height = h;
  format = pixelFormat;
  // Strides are kept in 32 bits like the host's; sizes whose rows do not fit make the frame empty
  // to every operation (they check the byte size in 64 bits before touching pixels).
  if (pixelFormat == kYuy2) {
    bytesPerPixel = 2;
    bytesPerPair = 4;
    stride = static_cast<int32_t>(2u * static_cast<uint32_t>(w));
  } else if (pixelFormat == kBgr24) {
    bytesPerPixel = 3;
    bytesPerPair = 6;
    stride = static_cast<int32_t>(0u - 3u * static_cast<uint32_t>(w));
  }
}

Rect FrameAdapter::ComputeRegion(const int32_t position[2], const int32_t size[2]) const {
  return ScaleRegion(position, size, 1000, 1000);
}

Rect FrameAdapter::ScaleRegion(const int32_t position[2], const int32_t size[2], int32_t dx,
                               int32_t dy) const {
  Rect r;
  r.left = MulDiv(width, position[0], dx);
  r.top = MulDiv(height, position[1], dy);
  // Wrapping sums: hostile settings may overflow; the wrapped rectangle is then simply clipped away.
  r.right = static_cast<int32_t>(uint32_t(r.left) + uint32_t(MulDiv(width, size[0], dx)));
  r.bottom = static_cast<int32_t>(uint32_t(r.top) + uint32_t(MulDiv(height, size[1], dy)));
  return r;
}

namespace {

// One axis of one surface: cut [lo, hi) to [0, extent) and carry each cut to the partner's same
// edge. Cuts are formed in 64 bits; one that would carry the partner's edge out of the 32-bit range
// (hostile coordinates) fails instead of wrapping it around to a plausible place.
bool ClipAxis(int32_t extent, int32_t& lo, int32_t& hi, int32_t& partnerLo, int32_t& partnerHi) {
  if (!(lo < hi && lo < extent && hi > 0)) return false;
  if (lo < 0) {
    const int64_t moved = int64_t{partnerLo} - lo;
    if (moved > INT32_MAX) return false;
    partnerLo = static_cast<int32_t>(moved);
    lo = 0;
  }
  if (hi > extent) {
    const int64_t moved = int64_t{partnerHi} - (int64_t{hi} - extent);
    if (moved < INT32_MIN) return false;
    partnerHi = static_cast<int32_t>(moved);
    hi = extent;
  }
  return true;
}

}  // namespace

bool FrameAdapter::ClipRectPair(const Size& ss, Rect& s, const Size& ds, Rect& d) {
  if (!ClipAxis(ss.width, s.left, s.right, d.left, d.right)) return false;
  if (!ClipAxis(ss.height, s.top, s.bottom, d.top, d.bottom)) return false;
  if (!ClipAxis(ds.width, d.left, d.right, s.left, s.right)) return false;
  if (!ClipAxis(ds.height, d.top, d.bottom, s.top, s.bottom)) return false;
  return s.left < s.right && s.top < s.bottom;
}

uint8_t* FrameAdapter::PixelAddress(uint8_t* framePixels, int32_t x, int32_t y) const {
  if (format == kBgr24) {
    return framePixels + 3 * int64_t{x} + 3 * int64_t{width} * (int64_t{height} - 1 - y);
  }
  return framePixels + int64_t{bytesPerPixel} * x + int64_t{stride} * y;
}

}  // namespace vle
