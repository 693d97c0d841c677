#include "analysis/steady_mask.h"

#include <algorithm>

namespace vle::analysis {

SteadyMask::SteadyMask(int width, int height, const Rect& region) : width_(width), height_(height) {
  const int left = std::clamp(region.left, 0, width), top = std::clamp(region.top, 0, height);
  const int right = std::clamp(region.right(), left, width), bottom = std::clamp(region.bottom(), top, height);
  region_ = Rect{left, top, right - left, bottom - top};
  low_ = LumaPlane(region_.width, region_.height, 255);
  high_ = LumaPlane(region_.width, region_.height, 0);
}

void SteadyMask::Add(const LumaPlane& luma) {
  if (luma.width != region_.width || luma.height != region_.height) return;
  for (size_t i = 0; i < luma.pixels.size(); ++i) {
    low_.pixels[i] = std::min(low_.pixels[i], luma.pixels[i]);
    high_.pixels[i] = std::max(high_.pixels[i], luma.pixels[i]);
  }
  ++frames_;
}

LumaPlane SteadyMask::Mask(int threshold, int blackLevel, bool invert) const {
  LumaPlane mask(width_, height_);
  if (frames_ == 0) return mask;
  for (int y = 0; y < region_.height; ++y) {
    for (int x = 0; x < region_.width; ++x) {
      const int low = low_.at(x, y), high = high_.at(x, y);
      const bool keyed = (high - low > threshold || blackLevel > low) != invert;
      mask.at(region_.left + x, region_.top + y) = keyed ? 0 : 255;
    }
  }
  return mask;
}

Rect BoundingBox(const LumaPlane& mask) {
  int minX = mask.width, minY = mask.height, maxX = -1, maxY = -1;
  for (int y = 0; y < mask.height; ++y) {
    for (int x = 0; x < mask.width; ++x) {
      if (mask.at(x, y) == 0) continue;
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  return maxX < 0 ? Rect{} : Rect{minX, minY, maxX - minX + 1, maxY - minY + 1};
}

Rect DelogoBox(const Rect& box, int width, int height) {
  if (box.empty() || width < 3 || height < 3) return Rect{};
  const int left = std::clamp(box.left, 1, width - 2), top = std::clamp(box.top, 1, height - 2);
  const int right = std::clamp(box.right(), left + 1, width - 1);
  const int bottom = std::clamp(box.bottom(), top + 1, height - 1);
  return Rect{left, top, right - left, bottom - top};
}

}  // namespace vle::analysis
