// Rectangles and sizes as the host and the Win32 API lay them out: four (two) signed 32-bit values,
// right and bottom exclusive, y counted from the top of the picture whatever the row order.
#pragma once

#include <cstdint>

namespace vle {

struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
static_assert(sizeof(Rect) == 16, "RECT layout");

struct Size {
  int32_t width;
  int32_t height;
};
static_assert(sizeof(Size) == 8, "size record layout");

struct Point {
  int32_t x;
  int32_t y;
};

inline bool operator==(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }

// IsRectEmpty: no area when right <= left or bottom <= top.
inline bool IsEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// IntersectRect: the common part of a and b; (0, 0, 0, 0) and false when they do not overlap.
inline bool Intersect(const Rect& a, const Rect& b, Rect* out) {
  Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (IsEmpty(r)) {
    *out = Rect{0, 0, 0, 0};
    return false;
  }
  *out = r;
  return true;
}

}  // namespace vle
