// The logo mask at the video's own size, by the plug-in's rule: over the captured frames, a pixel
// of the region is logo when its luma swung by no more than the threshold and never fell below
// the black level (the other way round with inversion). The plug-in applies the same rule to the
// same frames, so the mask and its template agree pixel for pixel; the template bitmap is only
// scaled to a reference frame when saved, the mask never is.
#pragma once

#include <cstdint>

#include "analysis/luma_plane.h"

namespace vle::analysis {

class SteadyMask {
 public:
  // `region` within a width x height frame (clipped to it).
  SteadyMask(int width, int height, const Rect& region);

  const Rect& region() const { return region_; }
  int64_t frames() const { return frames_; }

  // One captured frame's luma over the region: region().width x region().height.
  void Add(const LumaPlane& regionLuma);

  // width x height: 255 where logo, 0 elsewhere (all 0 before any frame).
  LumaPlane Mask(int threshold, int blackLevel, bool invert) const;

 private:
  int width_, height_;
  Rect region_;
  LumaPlane low_, high_;
  int64_t frames_ = 0;
};

// The smallest rectangle holding every non-zero pixel; empty when there is none.
Rect BoundingBox(const LumaPlane& mask);

// The box FFmpeg's delogo filter accepts for `box` in a width x height frame: moved and cut to
// keep one pixel of the frame on every side, since the filter interpolates from the pixels around
// the box. Empty when the frame is smaller than 3 x 3 or the box is empty.
Rect DelogoBox(const Rect& box, int width, int height);

}  // namespace vle::analysis
