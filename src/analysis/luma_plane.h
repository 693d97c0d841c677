// Luma planes: the form in which frames reach the analysis. Hosts convert their frames (packed
// 4:2:2 or bottom-up BGR) with the functions below; decoding stays with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vle::analysis {

// A rectangle in pixels; empty when width or height is not positive.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool empty() const { return width <= 0 || height <= 0; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
};

// An owning 8-bit plane, rows top-down without padding.
struct LumaPlane {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  LumaPlane() = default;
  LumaPlane(int w, int h, uint8_t fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
  uint8_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  uint8_t& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// The luma bytes of packed 4:2:2 (Y0 Cb Y1 Cr) rows, `stride` bytes apart, into `out`.
void LumaFromYuy2(const uint8_t* frame, int width, int height, ptrdiff_t stride, LumaPlane* out);

// Luma of B, G, R rows (`stride` bytes apart; a negative stride walks up), weighted as the plug-in
// weighs them: (3735 B + 19235 G + 9798 R) >> 15.
void LumaFromBgr24(const uint8_t* firstRow, int width, int height, ptrdiff_t stride, LumaPlane* out);

// The mean of each `factor` x `factor` block (the last ones partial); factor 1 copies.
LumaPlane Shrink(const LumaPlane& plane, int factor);

// Masks (non-zero: set). `mask` grown by `margin` pixels on every side, each set pixel spreading
// over the (2 margin + 1)^2 square around it: the plane is `margin` pixels larger on each side.
LumaPlane Grow(const LumaPlane& mask, int margin);

// `mask` with 255 wherever its border cannot be reached through unset pixels (4-connected): the
// holes an outline encloses are filled.
LumaPlane FillEnclosed(const LumaPlane& mask);

}  // namespace vle::analysis
