#include <cstdint>

#include "core/muldiv.h"
#include "frame/frame_adapter.h"

namespace vle {

void FrameAdapter::SetFormat(int32_t w, int32_t h, int32_t pixelFormat) {
  width = w;
  height = h;
  format = pixelFormat;
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

namespace {

// One axis of a block whose far edge left the 32-bit range: cuts [lo, hi) to [0, extent) and moves
// the partner's edges with it, all in 64 bits.
bool NarrowAxis(int64_t extent, int64_t& lo, int64_t& hi, int64_t& partnerLo, int64_t& partnerHi) {
  if (lo < 0) {
    partnerLo -= lo;
    lo = 0;
  }
  if (hi > extent) {
    partnerHi -= hi - extent;
    hi = extent;
  }
  return lo < hi;
}

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

bool FrameAdapter::ClipBlock(const Size& pictureSize, const Rect& rect, const Size& frameSize,
                             const Point& point, Rect* picture, Rect* frame) {
  // Only a block that leaves the 32-bit range is narrowed before the 32-bit clip sees it; a block
  // that fits is handed over unchanged.
  int64_t sl = rect.left, st = rect.top, sr = rect.right, sb = rect.bottom;
  int64_t dl = point.x, dt = point.y;
  int64_t dr = dl + (sr - sl), db = dt + (sb - st);
  if (!(FitsInt32(dr) && FitsInt32(db))) {
    if (!(sl < sr && st < sb)) return false;
    if (!NarrowAxis(pictureSize.width, sl, sr, dl, dr) ||
        !NarrowAxis(pictureSize.height, st, sb, dt, db) ||
        !NarrowAxis(frameSize.width, dl, dr, sl, sr) ||
        !NarrowAxis(frameSize.height, dt, db, st, sb)) {
      return false;
    }
  }
  Rect s{static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(sr),
         static_cast<int32_t>(sb)};
  Rect d{static_cast<int32_t>(dl), static_cast<int32_t>(dt), static_cast<int32_t>(dr),
         static_cast<int32_t>(db)};
  if (!ClipRectPair(pictureSize, s, frameSize, d)) return false;
  // What the clip promises, checked against the surfaces themselves before any address is formed.
  if (s.left < 0 || s.top < 0 || s.right > pictureSize.width || s.bottom > pictureSize.height ||
      d.left < 0 || d.top < 0 || d.right > frameSize.width || d.bottom > frameSize.height ||
      d.right - d.left != s.right - s.left || d.bottom - d.top != s.bottom - s.top) {
    return false;
  }
  *picture = s;
  *frame = d;
  return true;
}

}  // namespace vle
