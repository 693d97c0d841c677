#include "analysis/luma_plane.h"

#include <algorithm>

namespace vle::analysis {

void LumaFromYuy2(const uint8_t* frame, int width, int height, ptrdiff_t stride, LumaPlane* out) {
  *out = LumaPlane(width, height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = frame + y * stride;
    uint8_t* dst = &out->at(0, y);
    for (int x = 0; x < width; ++x) dst[x] = row[2 * x];
  }
}

void LumaFromBgr24(const uint8_t* firstRow, int width, int height, ptrdiff_t stride, LumaPlane* out) {
  *out = LumaPlane(width, height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = firstRow + y * stride;
    uint8_t* dst = &out->at(0, y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = row + 3 * x;
      dst[x] = static_cast<uint8_t>((3735 * p[0] + 19235 * p[1] + 9798 * p[2]) >> 15);
    }
  }
}

LumaPlane Shrink(const LumaPlane& plane, int factor) {
  if (factor <= 1) return plane;
  const int w = (plane.width + factor - 1) / factor, h = (plane.height + factor - 1) / factor;
  LumaPlane out(w, h);
  std::vector<uint32_t> sum(static_cast<size_t>(w)), count(static_cast<size_t>(w));
  for (int by = 0; by < h; ++by) {
    std::fill(sum.begin(), sum.end(), 0u);
    std::fill(count.begin(), count.end(), 0u);
    for (int y = by * factor; y < std::min(plane.height, (by + 1) * factor); ++y) {
      const uint8_t* row = &plane.pixels[size_t(y) * size_t(plane.width)];
      for (int x = 0; x < plane.width; ++x) {
        sum[size_t(x / factor)] += row[x];
        ++count[size_t(x / factor)];
      }
    }
    for (int bx = 0; bx < w; ++bx) {
      const uint32_t n = count[size_t(bx)];
      out.at(bx, by) = static_cast<uint8_t>((sum[size_t(bx)] + n / 2) / n);
    }
  }
  return out;
}

LumaPlane Grow(const LumaPlane& mask, int margin) {
  LumaPlane out(mask.width + 2 * margin, mask.height + 2 * margin);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      if (mask.at(x, y))
        for (int dy = 0; dy <= 2 * margin; ++dy)
          for (int dx = 0; dx <= 2 * margin; ++dx) out.at(x + dx, y + dy) = 255;
  return out;
}

LumaPlane FillEnclosed(const LumaPlane& mask) {
  const int w = mask.width, h = mask.height;
  LumaPlane out(w, h, 255);
  std::vector<int> stack;
  auto reach = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h || mask.at(x, y) || !out.at(x, y)) return;
    out.at(x, y) = 0;
    stack.push_back(y * w + x);
  };
  for (int x = 0; x < w; ++x) reach(x, 0), reach(x, h - 1);
  for (int y = 0; y < h; ++y) reach(0, y), reach(w - 1, y);
  while (!stack.empty()) {
    const int x = stack.back() % w, y = stack.back() / w;
    stack.pop_back();
    reach(x - 1, y), reach(x + 1, y), reach(x, y - 1), reach(x, y + 1);
  }
  return out;
}

}  // namespace vle::analysis
