// Lines and rings. They cover a few hundred pixels per frame, so they stay scalar.
#include <algorithm>
#include <climits>
#include <cstddef>

#include "core/muldiv.h"
#include "frame/color_convert.h"
#include "frame/frame_adapter.h"
#include "frame/frame_layout.h"

namespace vle {
namespace {

constexpr uint32_t kBgrBytes = 0x00FFFFFFu;

// One colour blended into frame bytes: out = clamp(K + floor((D - K) * w / 256)), w = 0 writes K.
struct LinePaint {
  uint32_t color;   // frame bytes of the colour, little-endian (ColorToFramePixel)
  int keep;         // w: how much of the old byte stays, 0..256

  // Blends the bytes of `mask` (4 bytes of a Yuy2 pair, 3 of a Bgr24 pixel).
  void Apply(uint8_t* p, uint32_t mask) const {
    for (int k = 0; k < 4; ++k) {
      if (((mask >> (8 * k)) & 0xFF) == 0) continue;
      const int c = static_cast<uint8_t>(color >> (8 * k));
      const int v = c + (((p[k] - c) * keep) >> 8);
      p[k] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  }
};

LinePaint MakePaint(const FrameAdapter& adapter, uint32_t color, int32_t opacity) {
  // Out-of-range opacities are treated as the nearest valid percent (100 - INT_MIN would overflow).
  const int32_t percent = opacity < 0 ? 0 : opacity > 100 ? 100 : opacity;
  return LinePaint{adapter.ColorToFramePixel(color), MulDiv(100 - percent, 256, 100)};
}

// Orders a half-open run [from, to) given in either direction as inclusive [first, last] and cuts
// it to [0, extent). False when nothing is left.
bool ClipRun(int64_t from, int64_t to, int64_t extent, int64_t* first, int64_t* last) {
  int64_t a, b;
  if (to >= from) {
    a = from;
    b = to - 1;
  } else {
    a = to + 1;
    b = from;
  }
  if (a > b || b < 0 || a >= extent) return false;
  *first = std::max<int64_t>(a, 0);
  *last = std::min<int64_t>(b, extent - 1);
  return true;
}

// Arguments in 64 bits: ring bounds of hostile rectangles and thicknesses leave the 32-bit range.
void HorizontalRun(const FrameAdapter& adapter, uint8_t* pixels, int64_t from, int64_t to,
                   int64_t y, const LinePaint& paint) {
  FrameLayout frame;
  int64_t first, last;
  if (!DescribeDrawableFrame(adapter, pixels, &frame) || y < 0 || y >= frame.height ||
      !ClipRun(from, to, frame.drawWidth, &first, &last)) {
    return;
  }
  uint8_t* row = frame.Row(static_cast<int32_t>(y));
  if (adapter.format == kBgr24) {
    for (int64_t x = first; x <= last; ++x) paint.Apply(row + 3 * x, kBgrBytes);
    return;
  }
  int64_t x = first;
  if (x & 1) {
    paint.Apply(row + 2 * (x - 1), kSecondLuma);
    ++x;
  }
  for (; x + 1 <= last; x += 2) paint.Apply(row + 2 * x, kWholePair);
  if (x == last) paint.Apply(row + 2 * x, kFirstLumaAndChroma);
}

void VerticalRun(const FrameAdapter& adapter, uint8_t* pixels, int64_t x, int64_t from, int64_t to,
                 const LinePaint& paint) {
  FrameLayout frame;
  int64_t first, last;
  if (!DescribeDrawableFrame(adapter, pixels, &frame) || x < 0 || x >= frame.drawWidth ||
      !ClipRun(from, to, frame.height, &first, &last)) {
    return;
  }
  uint8_t* p = frame.Row(static_cast<int32_t>(first));
  uint32_t mask = kBgrBytes;
  if (adapter.format == kYuy2) {
    p += 2 * (x & ~int64_t{1});
    mask = (x & 1) ? kSecondLuma : kFirstLumaAndChroma;
  } else {
    p += 3 * x;
  }
  for (int64_t y = first; y <= last; ++y, p += frame.rowStep) paint.Apply(p, mask);
}

struct RingRange {
  int64_t lo, hi;  // half-open
};

// Adds [lo, hi) cut to [0, limit) to a list of ranges.
void AddRange(int64_t lo, int64_t hi, int64_t limit, RingRange* ranges, int* n) {
  lo = std::max<int64_t>(lo, 0);
  hi = std::min(hi, limit);
  if (lo < hi) ranges[(*n)++] = RingRange{lo, hi};
}

}  // namespace

uint32_t FrameAdapter::ColorToFramePixel(uint32_t color) const {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  if (format == kYuy2) {
    const YCbCr c = RgbToYcbcr(r, g, b);
    return uint32_t{c.y} | uint32_t{c.cb} << 8 | uint32_t{c.y} << 16 | uint32_t{c.cr} << 24;
  }
  if (format == kBgr24) return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
  return color;
}

void FrameAdapter::DrawHorizontalLine(uint8_t* framePixels, int32_t xFrom, int32_t xTo, int32_t y,
                                      uint32_t color, int32_t opacity) const {
  HorizontalRun(*this, framePixels, xFrom, xTo, y, MakePaint(*this, color, opacity));
}

void FrameAdapter::DrawVerticalLine(uint8_t* framePixels, int32_t x, int32_t yFrom, int32_t yTo,
                                    uint32_t color, int32_t opacity) const {
  VerticalRun(*this, framePixels, x, yFrom, yTo, MakePaint(*this, color, opacity));
}

void FrameAdapter::DrawFrameRect(uint8_t* framePixels, Rect r, int32_t thickness, uint32_t color,
                                 int32_t opacity) const {
  FrameLayout frame;
  if (thickness == 0 || thickness == INT_MIN) return;
  if (!DescribeDrawableFrame(*this, framePixels, &frame)) return;
  const LinePaint paint = MakePaint(*this, color, opacity);

  // Inclusive bounds of ring 0; ring i lies at L + i, T + i, R - i, B - i.
  int64_t L = r.left, T = r.top, R = int64_t{r.right} - 1, B = int64_t{r.bottom} - 1;
  int64_t rings = thickness;
  if (thickness < 0) {
    rings = -int64_t{thickness};
    L -= rings;
    T -= rings;
    R += rings;
    B += rings;
  }

  // Every side is drawn only on a row or column inside the frame, so only the rings whose top,
  // bottom, left or right line falls inside can draw anything. Visiting just those (at most
  // 2 * (width + height) rings, in ascending order) draws the same pixels as visiting all.
  const int64_t W = frame.drawWidth, H = frame.height;
  RingRange ranges[4];
  int n = 0;
  AddRange(-T, H - T, rings, ranges, &n);         // T + i in [0, H)
  AddRange(B - H + 1, B + 1, rings, ranges, &n);  // B - i in [0, H)
  AddRange(-L, W - L, rings, ranges, &n);         // L + i in [0, W)
  AddRange(R - W + 1, R + 1, rings, ranges, &n);  // R - i in [0, W)
  std::sort(ranges, ranges + n, [](const RingRange& a, const RingRange& b) { return a.lo < b.lo; });

  int64_t next = 0;
  for (int k = 0; k < n; ++k) {
    for (int64_t i = std::max(next, ranges[k].lo); i < ranges[k].hi; ++i) {
      // Each side owns the corner it starts from.
      HorizontalRun(*this, framePixels, L + i, R - i, T + i, paint);
      VerticalRun(*this, framePixels, R - i, T + i, B - i, paint);
      HorizontalRun(*this, framePixels, R - i, L + i, B - i, paint);
      VerticalRun(*this, framePixels, L + i, B - i, T + i, paint);
    }
    next = std::max(next, ranges[k].hi);
  }
}

}  // namespace vle
