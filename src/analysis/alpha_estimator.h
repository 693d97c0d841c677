// Per-pixel opacity and colour of a semi-transparent logo, estimated from sampled frames.
//
// Every pixel of the picture under a logo is modelled as observed = (1 - a) * background + a * colour,
// with a (opacity) and colour fixed over time and the background changing. The background behind
// the logo is never seen, so each frame's is predicted from a ring of pixels around the logo's box:
// the ring's four sides, smoothed along their length, are blended across the box (a Coons patch),
// which is exact for backgrounds that vary linearly or bilinearly across the box and close for
// any smooth picture. Per pixel and channel the estimator keeps running sums only, so memory is a
// few dozen bytes per pixel of the box, however many frames are fed.
//
// Frames are weighed rather than gated by their ring, since most television is busy around its
// logo. A frame whose ring is smooth counts fully. One whose ring is not (an object's edge or a
// textured picture crossing it, which the blend cannot carry inside) counts by how well the ring
// predicts itself: each side is predicted from the others as if it were missing, and with e the
// mean square error of those predictions the weight is 1 / (1 + e / 256)^2. The fit is a weighted
// one. A frame in which the logo is absent (an advertising break) is not used at all: once a
// provisional estimate exists, a frame counts only when the model with the logo explains most of
// the logo's pixels better than the model without.
//
// Frames are top-down R, G, B bytes with a row stride; nothing here knows a decoder's types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/luma_plane.h"

namespace vle::analysis {

// How the opacity is read off the sums. kLineFit regresses each pixel's observed values on the
// predicted background (slope 1 - a, intercept a * colour); kSpread compares each pixel's spread
// over time with the spread of the ring around the box (a = 1 - spread / reference spread).
enum class AlphaMethod { kLineFit, kSpread };

// Opacity counted as visible logo, and as opaque logo, in the quality figures.
constexpr float kVisibleAlpha = 0.03f;
constexpr float kOpaqueAlpha = 0.65f;

struct AlphaQuality {
  int64_t framesSeen = 0;      // frames given to Add
  int64_t framesUsed = 0;      // frames in the estimate
  int64_t framesUnusable = 0;  // no ring to predict from, or a busy ring with no side to check it by
  int64_t framesNoLogo = 0;    // the logo judged absent
  // The used frames counted by their weights: one with a smooth ring counts 1, one with a busy
  // ring less.
  double effectiveFrames = 0;
  int64_t visiblePixels = 0;   // a > kVisibleAlpha
  int64_t opaquePixels = 0;    // a > kOpaqueAlpha
  // RMS, on the 0..255 scale, of observed minus modelled values over the used frames and the
  // visible pixels; the picture's own detail that the ring cannot predict is part of it.
  double residualRms[3] = {0, 0, 0};
  bool trustworthy = false;
  std::string verdict;  // one line; why the estimate is not to be trusted, or empty
};

// The estimate at the frame's full size.
struct AlphaMatte {
  int width = 0, height = 0;
  Rect box;
  std::vector<uint8_t> rgba;    // width * height * 4, top-down; A = 0 and RGB = 0 outside the logo
  std::vector<float> alpha;     // box.width * box.height, 0..1, unrounded
  std::vector<float> color;     // 3 per box pixel, 0..255, unrounded; 0 where a <= kVisibleAlpha
  AlphaQuality quality;

  float AlphaAt(int x, int y) const;  // 0 outside the box
};

class AlphaEstimator {
 public:
  // `box` is where the logo is, in a frame of `width` x `height`; the reference ring lies outside
  // it, `ringWidth` pixels thick where the frame has room (0: chosen from the frame's height).
  // A box not inside the frame is clipped; one that is empty makes an estimator whose Finish
  // reports an untrustworthy result.
  AlphaEstimator(int width, int height, Rect box, AlphaMethod method = AlphaMethod::kLineFit,
                 int ringWidth = 0);

  // Feeds one frame of the constructor's size. Returns whether it went into the estimate (perhaps
  // with a small weight).
  bool Add(const uint8_t* rgb, int width, int height, ptrdiff_t stride);

  // The estimate from the frames used so far; may be called more than once.
  AlphaMatte Finish() const;

  const Rect& box() const { return box_; }
  // The pixels Add reads: the box and its ring.
  Rect Reads() const {
    return Rect{box_.left - ring_[2], box_.top - ring_[0], box_.width + ring_[2] + ring_[3],
                box_.height + ring_[0] + ring_[1]};
  }

  // This frame's background predicted from the ring, 3 floats per box pixel; false when the box
  // has no side with a ring. For the de-blended preview where the logo is opaque.
  bool PredictBackground(const uint8_t* rgb, ptrdiff_t stride, std::vector<float>& out) const;

 private:
  struct Side;
  // One frame's predicted background (3 floats per box pixel) and, when Add asked for them, the
  // ring's figures: the mean square difference of each measured side from its prediction by the
  // others (infinite when no side has another), whether it is smooth, and the frame's weight.
  struct Prediction {
    std::vector<float> bg;
    double ringError = 0;
    bool smooth = false;
    double weight = 1;
  };
  void MeasureSides(const uint8_t* rgb, ptrdiff_t stride, Side side[4]) const;
  void CompleteSides(Side side[4]) const;
  void Coons(const Side side[4], std::vector<float>& out) const;
  bool Predict(const uint8_t* rgb, ptrdiff_t stride, Prediction& out, bool checkRing) const;
  void Provisional();
  // `at` points at the top left of Reads() in a frame (or a copy of that rectangle) `stride` bytes
  // a row; `bg` is the frame's predicted background.
  bool LogoPresent(const uint8_t* at, ptrdiff_t stride, const std::vector<float>& bg) const;
  void Accumulate(const uint8_t* at, ptrdiff_t stride, const Prediction& p, double sign);
  struct WarmFrame {
    std::vector<uint8_t> pixels;  // Reads() of the frame
    Prediction prediction;
  };

  int width_, height_;
  Rect box_;
  AlphaMethod method_;
  int ring_[4] = {0, 0, 0, 0};  // thickness of the top, bottom, left, right ring; 0 where none
  // Sums over the used frames, each frame's terms multiplied by its weight. Per box pixel and
  // channel: b, b*b, o, o*b, o*o (b predicted background, o observed). Then the weights' sum.
  std::vector<double> sums_;
  double weights_ = 0;
  // Per channel over the ring's pixels: sums of their values and squares, for kSpread's reference.
  std::vector<double> ringSum_, ringSquares_;
  // Provisional opacity and colour, for judging whether a frame shows the logo.
  std::vector<float> provAlpha_, provColor_;
  int64_t nextProvisional_ = 8;
  std::vector<WarmFrame> warm_;  // used frames from before the first provisional estimate
  AlphaQuality counts_;
  Prediction frame_;  // the frame Add is looking at, kept to reuse its buffer
};

// The frame with the logo taken out: where 0 < a < 0.95, background = (observed - a * colour) /
// (1 - a); where a >= 0.95 nothing of the background is left, so `fill` (3 floats per box pixel,
// e.g. PredictBackground) is used, or the observed value when `fill` is empty. Pixels outside
// the box are copied. `out` is width * height * 3 bytes, top-down.
void Deblend(const AlphaMatte& matte, const uint8_t* rgb, ptrdiff_t stride, const std::vector<float>& fill,
             std::vector<uint8_t>& out);

}  // namespace vle::analysis
