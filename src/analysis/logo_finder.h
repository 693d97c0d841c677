// Finding a static logo in sampled frames.
//
// The signal is the one broadcast logo detectors rely on, edge persistence: a pixel whose gradient
// is strong in most samples, combined with the steadiness of luma the plug-in keys on. Samples are
// luma planes of one size, spread over a recording; the finder keeps them (so keep them few: a
// few dozen) and then:
//  1. crops letterbox and pillarbox bars: rows and columns that are dark and flat in most samples,
//     so that a bar's edge against the picture is never taken for a logo;
//  2. marks logo evidence outside the picture's centre (the middle half of the active picture in
//     both directions): pixels with a strong gradient in at least half of the samples whose luma
//     stays within a small range over the middle half of the samples (a robust range, so that
//     frames without the logo, such as advertising breaks, cannot erase it);
//  3. groups the evidence into clusters (parts of one logo lie close together) and drops flat
//     static areas: a steady blob that fills most of its box and has no steady edges inside it (a
//     grey box, a frozen band) has no structure of its own;
//  4. scores every sample against the best cluster, drops the samples that lack it (the logo was
//     absent), and repeats 2 and 3 on the others with a tighter range.
// The biggest remaining cluster is the logo; its box is the result.
#pragma once

#include <string>
#include <vector>

#include "analysis/luma_plane.h"

namespace vle::analysis {

struct FinderResult {
  bool found = false;
  Rect box;           // the logo's pixels, in the samples' coordinates
  Rect active;        // the picture inside any bars
  int samples = 0;    // samples given
  int withoutLogo = 0;  // samples dropped because they lacked the logo
  std::string why;    // when not found: one phrase for the user
  // The logo's persistent edges (pixel indices y * width + x in the samples' coordinates) and the
  // share of them that a sample showing the logo has strong, for LogoPresence.
  std::vector<int> signature;
  double presentScore = 0;
};

// Whether a frame shows the logo that was found: at least half as many of its persistent edges
// strong as in a typical sample with the logo. Advertising breaks fail this.
class LogoPresence {
 public:
  LogoPresence(const FinderResult& found, int sampleWidth);
  // The rectangle, in the samples' coordinates, whose luma Shows() reads.
  const Rect& area() const { return area_; }
  // `areaLuma`: a frame's luma over area(), at the samples' scale.
  bool Shows(const LumaPlane& areaLuma) const;

 private:
  std::vector<int> pixels_;  // indices into area()
  Rect area_;
  double threshold_ = 0;
};

class LogoFinder {
 public:
  // Samples must be `width` x `height`.
  LogoFinder(int width, int height) : width_(width), height_(height) {}

  // Keeps a copy; planes of another size are ignored and false is returned.
  bool Add(const LumaPlane& sample);
  size_t samples() const { return samples_.size(); }

  FinderResult Find() const;

 private:
  int width_, height_;
  std::vector<LumaPlane> samples_;
};

// The picture inside letterbox and pillarbox bars: the rows and columns from each side that are
// dark (luma <= 40) and flat (range <= 16) in at least 80 % of the samples. Bars covering half the
// picture or more are not taken for bars (a dark recording).
Rect ActivePicture(const std::vector<LumaPlane>& samples);

// |gx| + |gy| of the 3 x 3 Sobel operator at (x, y), 1 <= x < width - 1, 1 <= y < height - 1.
int SobelMagnitude(const LumaPlane& plane, int x, int y);

}  // namespace vle::analysis
