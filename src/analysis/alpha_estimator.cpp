#include "analysis/alpha_estimator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <cstdio>
#include <limits>

namespace vle::analysis {
namespace {

enum SideIndex { kTop = 0, kBottom = 1, kLeft = 2, kRight = 3 };

// Sums kept per box pixel and channel.
enum Sum { kB = 0, kBB, kO, kOB, kOO, kSums };

// Profiles are smoothed along their side over this radius before use: the ring's own noise would
// otherwise enter the predicted background and flatten the fitted line.
constexpr int kProfileRadius = 2;
// A ring is smooth when no smoothed profile value departs from its wider local mean by more than
// this: gentle gradients pass, an object's edge crossing the ring does not.
constexpr int kSmoothRadius = 8;
constexpr float kRoughness = 14.0f;
// A frame whose ring is not smooth is weighted by 1 / (1 + e / kBusyError)^2, e the mean square
// error (0..255 scale) with which the ring's sides predict one another. The square: a badly
// predicted frame does not only add noise, it flattens the fitted slope (the prediction's error
// moves with the prediction), so its weight must fall faster than the inverse of its error; with
// the inverse alone, a busy picture's opacity came out up to 0.05 too high deep inside the box.
// Correcting the slope by how much the sides' own predictions are flattened instead overshoots:
// a side predicted from across the box is a worse guess than the box's inside is.
constexpr double kBusyError = 256.0;
// Provisional opacity above which a pixel takes part in judging whether the logo is there.
constexpr float kJudgeAlpha = 0.1f;
// Fewer used frames than this (also when counted by their weights), or a picture behind the logo
// that varies less than this (variance summed over channels), and the fit is not worth having.
constexpr int64_t kMinFrames = 12;
constexpr double kMinBackgroundVariance = 3 * 8.0 * 8.0;
constexpr double kMaxResidual = 32.0;
// A logo has at least this many pixels, and 1 % of its box, clearly above the noise.
constexpr float kClearAlpha = 0.15f;
constexpr int64_t kMinLogoPixels = 16;

std::string TooFew(const AlphaQuality& q) {
  return "only " + std::to_string(q.framesUsed) + " of " + std::to_string(q.framesSeen) +
         " frames showed the logo over a usable picture; at least " + std::to_string(kMinFrames) +
         " are needed";
}

// Box filter of `radius` over v, the window shrinking at the ends.
void Smooth(std::vector<float>& v, int radius) {
  const int n = static_cast<int>(v.size());
  if (n == 0) return;
  std::vector<double> prefix(size_t(n) + 1, 0.0);
  for (int i = 0; i < n; ++i) prefix[size_t(i) + 1] = prefix[size_t(i)] + v[size_t(i)];
  for (int i = 0; i < n; ++i) {
    const int a = std::max(0, i - radius), b = std::min(n, i + radius + 1);
    v[size_t(i)] = static_cast<float>((prefix[size_t(b)] - prefix[size_t(a)]) / (b - a));
  }
}

// Largest departure of v from its mean over kSmoothRadius on each side, ends excluded.
float Roughness(const std::vector<float>& v) {
  std::vector<float> wide(v);
  Smooth(wide, kSmoothRadius);
  float worst = 0;
  for (size_t i = kSmoothRadius; i + kSmoothRadius < v.size(); ++i)
    worst = std::max(worst, std::fabs(v[i] - wide[i]));
  return worst;
}

float Interpolate(const std::vector<float>& v, double at) {
  if (v.empty()) return 0;
  const double last = double(v.size() - 1);
  at = std::clamp(at, 0.0, last);
  const size_t i = static_cast<size_t>(at);
  const double f = at - double(i);
  return i + 1 < v.size() ? float(v[i] * (1 - f) + v[i + 1] * f) : v[i];
}

}  // namespace

// One side of the ring: its profile per channel along the side, starting at coordinate `start`
// (x for top and bottom, y for left and right), and its position across (y or x).
struct AlphaEstimator::Side {
  bool present = false;
  int start = 0;
  double across = 0;
  std::vector<float> profile[3];
  float At(int c, double along) const { return Interpolate(profile[c], along - start); }
};

float AlphaMatte::AlphaAt(int x, int y) const {
  if (x < box.left || y < box.top || x >= box.left + box.width || y >= box.top + box.height) return 0;
  return alpha[size_t(y - box.top) * size_t(box.width) + size_t(x - box.left)];
}

AlphaEstimator::AlphaEstimator(int width, int height, Rect box, AlphaMethod method, int ringWidth)
    : width_(std::max(0, width)), height_(std::max(0, height)), method_(method) {
  const int x0 = std::clamp(box.left, 0, width_), y0 = std::clamp(box.top, 0, height_);
  const int x1 = std::clamp(box.left + std::max(0, box.width), x0, width_);
  const int y1 = std::clamp(box.top + std::max(0, box.height), y0, height_);
  box_ = Rect{x0, y0, x1 - x0, y1 - y0};
  if (box_.width <= 0 || box_.height <= 0) return;
  const int m = ringWidth > 0 ? ringWidth : std::max(4, height_ / 96);
  const int room[4] = {y0, height_ - y1, x0, width_ - x1};
  for (int s = 0; s < 4; ++s) ring_[s] = room[s] >= 2 ? std::min(m, room[s]) : 0;
  if (ring_[0] + ring_[1] + ring_[2] + ring_[3] == 0) return;

  const size_t pixels = size_t(box_.width) * size_t(box_.height);
  sums_.assign(pixels * 3 * kSums, 0.0);
  // The ring's pixels, for the reference spread: the sides and, where two meet, the corner.
  const int rx0 = x0 - ring_[kLeft], rx1 = x1 + ring_[kRight];
  const int ry0 = y0 - ring_[kTop], ry1 = y1 + ring_[kBottom];
  const size_t ringPixels = size_t(rx1 - rx0) * size_t(ry1 - ry0) - pixels;
  ringSum_.assign(ringPixels * 3, 0.0);
  ringSquares_.assign(ringPixels * 3, 0.0);
}

void AlphaEstimator::MeasureSides(const uint8_t* rgb, ptrdiff_t stride, Side side[4]) const {
  const int x0 = box_.left, y0 = box_.top, x1 = x0 + box_.width, y1 = y0 + box_.height;
  const int mT = ring_[kTop], mB = ring_[kBottom], mL = ring_[kLeft], mR = ring_[kRight];
  // Positions of the profiles across their sides: the ring's centre line, or the box's edge where
  // there is no ring and the profile is made up from the others.
  side[kTop].across = mT ? y0 - (mT + 1) / 2.0 : y0 - 0.5;
  side[kBottom].across = mB ? y1 - 1 + (mB + 1) / 2.0 : y1 - 0.5;
  side[kLeft].across = mL ? x0 - (mL + 1) / 2.0 : x0 - 0.5;
  side[kRight].across = mR ? x1 - 1 + (mR + 1) / 2.0 : x1 - 0.5;
  for (int s = 0; s < 4; ++s) {
    Side& sd = side[s];
    const bool horizontal = s == kTop || s == kBottom;
    sd.start = horizontal ? x0 - mL : y0 - mT;
    sd.present = false;
    const int length = horizontal ? box_.width + mL + mR : box_.height + mT + mB;
    if (ring_[s] == 0) continue;
    sd.present = true;
    const int a0 = s == kTop ? y0 - mT : s == kBottom ? y1 : s == kLeft ? x0 - mL : x1;
    const int a1 = a0 + ring_[s];
    for (int c = 0; c < 3; ++c) sd.profile[c].assign(size_t(length), 0.f);
    for (int i = 0; i < length; ++i) {
      float acc[3] = {0, 0, 0};
      for (int a = a0; a < a1; ++a) {
        const int x = horizontal ? sd.start + i : a, y = horizontal ? a : sd.start + i;
        const uint8_t* p = rgb + ptrdiff_t(y) * stride + 3 * ptrdiff_t(x);
        acc[0] += p[0], acc[1] += p[1], acc[2] += p[2];
      }
      for (int c = 0; c < 3; ++c) sd.profile[c][size_t(i)] = acc[c] / float(a1 - a0);
    }
    for (int c = 0; c < 3; ++c) Smooth(sd.profile[c], kProfileRadius);
  }
}

void AlphaEstimator::CompleteSides(Side side[4]) const {
  const int mT = ring_[kTop], mB = ring_[kBottom], mL = ring_[kLeft], mR = ring_[kRight];
  // Ends of each side at the corner positions (top/bottom at the left and right lines, left/right
  // at the top and bottom lines), from sides that were measured.
  auto end = [&](int s, int c, bool second) {
    const bool horizontal = s == kTop || s == kBottom;
    const double at = horizontal ? side[second ? kRight : kLeft].across : side[second ? kBottom : kTop].across;
    return side[s].At(c, at);
  };
  const bool has[4] = {side[0].present, side[1].present, side[2].present, side[3].present};
  // A missing side is made from the opposite one, shifted by how the adjacent measured sides
  // change between the two: exact for a background that is a sum of a horizontal and a vertical
  // profile plus a bilinear term. With the opposite side missing too, it runs linearly between
  // the adjacent sides' ends.
  auto synthesise = [&](int s, int opposite, int adjA, int adjB) {
    Side& sd = side[s];
    const bool horizontal = s == kTop || s == kBottom;
    const int length = horizontal ? box_.width + mL + mR : box_.height + mT + mB;
    const bool atFirstEnd = s == kTop || s == kLeft;  // which end of the adjacent sides is ours
    for (int c = 0; c < 3; ++c) {
      sd.profile[c].assign(size_t(length), 0.f);
      float dA = 0, dB = 0;
      if (has[adjA]) dA = atFirstEnd ? end(adjA, c, false) - end(adjA, c, true) : end(adjA, c, true) - end(adjA, c, false);
      if (has[adjB]) dB = atFirstEnd ? end(adjB, c, false) - end(adjB, c, true) : end(adjB, c, true) - end(adjB, c, false);
      if (!has[adjA]) dA = dB;
      if (!has[adjB]) dB = dA;
      const double pa = side[adjA].across, pb = side[adjB].across;
      for (int i = 0; i < length; ++i) {
        const double along = sd.start + i;
        const double u = std::clamp((along - pa) / (pb - pa), 0.0, 1.0);
        float v;
        if (has[opposite]) {
          v = side[opposite].At(c, along) + float((1 - u) * dA + u * dB);
        } else {
          const float ea = side[adjA].present ? end(adjA, c, !atFirstEnd) : 0;
          const float eb = side[adjB].present ? end(adjB, c, !atFirstEnd) : 0;
          v = float((1 - u) * ea + u * eb);
        }
        sd.profile[c][size_t(i)] = v;
      }
    }
    sd.present = true;
  };
  // Vertical pairs need their adjacent (left, right) ends; when both of a pair are missing, their
  // adjacent sides are both measured, or no side would be.
  if (!has[kTop] && has[kBottom]) synthesise(kTop, kBottom, kLeft, kRight);
  if (!has[kBottom] && has[kTop]) synthesise(kBottom, kTop, kLeft, kRight);
  if (!has[kLeft] && has[kRight]) synthesise(kLeft, kRight, kTop, kBottom);
  if (!has[kRight] && has[kLeft]) synthesise(kRight, kLeft, kTop, kBottom);
  if (!has[kTop] && !has[kBottom]) {
    synthesise(kTop, kBottom, kLeft, kRight);
    synthesise(kBottom, kTop, kLeft, kRight);
  }
  if (!has[kLeft] && !has[kRight]) {
    synthesise(kLeft, kRight, kTop, kBottom);
    synthesise(kRight, kLeft, kTop, kBottom);
  }
}

void AlphaEstimator::Coons(const Side side[4], std::vector<float>& out) const {
  const int x0 = box_.left, y0 = box_.top, x1 = x0 + box_.width, y1 = y0 + box_.height;
  const double xL = side[kLeft].across, xR = side[kRight].across;
  const double yT = side[kTop].across, yB = side[kBottom].across;
  out.resize(size_t(box_.width) * size_t(box_.height) * 3);
  for (int c = 0; c < 3; ++c) {
    const float cTL = 0.5f * (side[kTop].At(c, xL) + side[kLeft].At(c, yT));
    const float cTR = 0.5f * (side[kTop].At(c, xR) + side[kRight].At(c, yT));
    const float cBL = 0.5f * (side[kBottom].At(c, xL) + side[kLeft].At(c, yB));
    const float cBR = 0.5f * (side[kBottom].At(c, xR) + side[kRight].At(c, yB));
    const std::vector<float>& T = side[kTop].profile[c];
    const std::vector<float>& B = side[kBottom].profile[c];
    const std::vector<float>& L = side[kLeft].profile[c];
    const std::vector<float>& R = side[kRight].profile[c];
    for (int y = y0; y < y1; ++y) {
      const float v = float((y - yT) / (yB - yT));
      const float l = L[size_t(y - side[kLeft].start)], r = R[size_t(y - side[kRight].start)];
      float* o = out.data() + size_t(y - y0) * size_t(box_.width) * 3 + c;
      for (int x = x0; x < x1; ++x, o += 3) {
        const float u = float((x - xL) / (xR - xL));
        const float t = T[size_t(x - side[kTop].start)], b = B[size_t(x - side[kBottom].start)];
        *o = (1 - v) * t + v * b + (1 - u) * l + u * r -
             ((1 - u) * (1 - v) * cTL + u * (1 - v) * cTR + (1 - u) * v * cBL + u * v * cBR);
      }
    }
  }
}

bool AlphaEstimator::Predict(const uint8_t* rgb, ptrdiff_t stride, Prediction& out, bool checkRing) const {
  if (box_.width <= 0 || ring_[0] + ring_[1] + ring_[2] + ring_[3] == 0) return false;
  Side side[4];
  MeasureSides(rgb, stride, side);
  if (checkRing) {
    // Each measured side as the others predict it, over the box's extent (the corners are shared
    // with the adjacent sides, so they would predict themselves).
    double squares = 0;
    int64_t values = 0;
    for (int s = 0; s < 4; ++s) {
      if (!side[s].present) continue;
      Side others[4] = {side[0], side[1], side[2], side[3]};
      others[s].present = false;
      int remaining = 0;
      for (int k = 0; k < 4; ++k) remaining += others[k].present;
      if (remaining == 0) continue;
      CompleteSides(others);
      const bool horizontal = s == kTop || s == kBottom;
      const int from = (horizontal ? box_.left : box_.top) - side[s].start;
      const int length = horizontal ? box_.width : box_.height;
      for (int i = from; i < from + length; ++i) {
        for (int c = 0; c < 3; ++c) {
          const float act = side[s].profile[c][size_t(i)], pred = others[s].profile[c][size_t(i)];
          squares += double(act - pred) * (act - pred);
          ++values;
        }
      }
    }
    // With a single side there is nothing to check it against: a busy one cannot be weighed.
    out.ringError = values ? squares / double(values) : std::numeric_limits<double>::infinity();
    float rough = 0;
    for (int k = 0; k < 4; ++k) {
      if (!side[k].present) continue;
      for (int c = 0; c < 3; ++c) rough = std::max(rough, Roughness(side[k].profile[c]));
    }
    out.smooth = rough <= kRoughness;
  }
  CompleteSides(side);
  Coons(side, out.bg);
  return true;
}

bool AlphaEstimator::PredictBackground(const uint8_t* rgb, ptrdiff_t stride, std::vector<float>& out) const {
  Prediction p;
  if (!Predict(rgb, stride, p, false)) return false;
  out = std::move(p.bg);
  return true;
}

bool AlphaEstimator::LogoPresent(const uint8_t* at, ptrdiff_t stride, const std::vector<float>& bg) const {
  // Each pixel votes for the model that explains it better, and the majority decides: in a busy
  // frame, summed squares would let the few pixels that an object's edge throws far off decide.
  int64_t votes = 0, pixels = 0;
  const int w = box_.width;
  for (int y = 0; y < box_.height; ++y) {
    const uint8_t* row = at + ptrdiff_t(ring_[kTop] + y) * stride + 3 * ptrdiff_t(ring_[kLeft]);
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const float a = provAlpha_[i];
      if (a <= kJudgeAlpha) continue;
      double p1 = 0, p0 = 0;
      for (int c = 0; c < 3; ++c) {
        const float o = row[3 * x + c], b = bg[3 * i + size_t(c)];
        const float e1 = o - (1 - a) * b - a * provColor_[3 * i + size_t(c)], e0 = o - b;
        p1 += e1 * e1;
        p0 += e0 * e0;
      }
      votes += p1 < p0, ++pixels;
    }
  }
  return 2 * votes >= pixels;
}

void AlphaEstimator::Accumulate(const uint8_t* at, ptrdiff_t stride, const Prediction& p, double sign) {
  const int w = box_.width;
  const double weight = sign * p.weight;
  weights_ += weight;
  for (int y = 0; y < box_.height; ++y) {
    const uint8_t* row = at + ptrdiff_t(ring_[kTop] + y) * stride + 3 * ptrdiff_t(ring_[kLeft]);
    for (int x = 0; x < 3 * w; ++x) {
      const size_t k = size_t(y) * size_t(w) * 3 + size_t(x);
      const double o = row[x], b = p.bg[k], wo = weight * o, wb = weight * b;
      double* s = &sums_[k * kSums];
      s[kB] += wb, s[kBB] += wb * b, s[kO] += wo, s[kOB] += wo * b, s[kOO] += wo * o;
    }
  }
  // The ring's raw pixels, row by row over the ring's bounding rectangle minus the box.
  const Rect r = Reads();
  size_t k = 0;
  for (int y = 0; y < r.height; ++y) {
    const uint8_t* row = at + ptrdiff_t(y) * stride;
    const bool inBoxRows = y >= ring_[kTop] && y < ring_[kTop] + box_.height;
    for (int x = 0; x < r.width; ++x) {
      if (inBoxRows && x == ring_[kLeft]) x += box_.width;
      if (x >= r.width) break;
      for (int c = 0; c < 3; ++c, ++k) {
        const double v = row[3 * x + c];
        ringSum_[k] += weight * v;
        ringSquares_[k] += weight * v * v;
      }
    }
  }
}

bool AlphaEstimator::Add(const uint8_t* rgb, int width, int height, ptrdiff_t stride) {
  if (width != width_ || height != height_)
    throw std::invalid_argument("a frame of another size than the estimator's");
  ++counts_.framesSeen;
  if (!Predict(rgb, stride, frame_, true)) {
    ++counts_.framesUnusable;
    return false;
  }
  // A smooth ring predicts the box as well as a ring can: its frame counts fully. A busy one
  // (an object's edge crossing it, a textured picture) counts by how well its sides predict one
  // another, which tells how far the prediction inside is to be believed.
  const double relative = 1.0 + frame_.ringError / kBusyError;
  frame_.weight = frame_.smooth ? 1.0 : 1.0 / (relative * relative);
  if (!(frame_.weight > 0)) {
    ++counts_.framesUnusable;
    return false;
  }
  const Rect r = Reads();
  const uint8_t* at = rgb + ptrdiff_t(r.top) * stride + 3 * ptrdiff_t(r.left);
  if (!provAlpha_.empty() && !LogoPresent(at, stride, frame_.bg)) {
    ++counts_.framesNoLogo;
    return false;
  }
  Accumulate(at, stride, frame_, 1.0);
  ++counts_.framesUsed;
  if (provAlpha_.empty()) {
    // Before there is an estimate to judge by, frames are kept (the box and its ring only) to be
    // judged once there is: a recording that opens with a break must not leave it in the sums.
    WarmFrame f;
    f.pixels.resize(3 * size_t(r.width) * size_t(r.height));
    for (int y = 0; y < r.height; ++y)
      std::copy_n(at + ptrdiff_t(y) * stride, 3 * size_t(r.width), f.pixels.begin() + ptrdiff_t(3 * size_t(y) * size_t(r.width)));
    f.prediction = frame_;
    warm_.push_back(std::move(f));
  }
  if (counts_.framesUsed >= nextProvisional_) {
    Provisional();
    bool dropped = false;
    for (const WarmFrame& f : warm_) {
      if (LogoPresent(f.pixels.data(), 3 * ptrdiff_t(r.width), f.prediction.bg)) continue;
      Accumulate(f.pixels.data(), 3 * ptrdiff_t(r.width), f.prediction, -1.0);
      --counts_.framesUsed;
      ++counts_.framesNoLogo;
      dropped = true;
    }
    warm_.clear();
    if (dropped) Provisional();
    nextProvisional_ = counts_.framesUsed < 64 ? 2 * counts_.framesUsed : counts_.framesUsed + 64;
  }
  return true;
}

void AlphaEstimator::Provisional() {
  const AlphaMatte m = Finish();
  provAlpha_ = m.alpha;
  provColor_ = m.color;
}

AlphaMatte AlphaEstimator::Finish() const {
  AlphaMatte m;
  m.width = width_;
  m.height = height_;
  m.box = box_;
  m.quality = counts_;
  m.rgba.assign(size_t(width_) * size_t(height_) * 4, 0);
  const size_t pixels = size_t(box_.width) * size_t(box_.height);
  m.alpha.assign(pixels, 0.f);
  m.color.assign(pixels * 3, 0.f);
  AlphaQuality& q = m.quality;
  auto distrust = [&](const std::string& why) {
    q.trustworthy = false;
    q.verdict = why;
    return m;
  };
  if (pixels == 0) return distrust("the logo's box is empty");
  if (sums_.empty()) return distrust("the logo's box leaves no room for a reference ring around it");
  if (q.framesUsed < 2 || weights_ <= 0) return distrust(TooFew(q));
  q.effectiveFrames = weights_;
  const double n = weights_;
  // The reference spread: the ring's temporal variance per channel, averaged over its pixels.
  double refVariance = 0;
  const size_t ringValues = ringSum_.size();
  for (size_t k = 0; k < ringValues; ++k) {
    const double mean = ringSum_[k] / n;
    refVariance += std::max(0.0, ringSquares_[k] / n - mean * mean);
  }
  refVariance /= std::max<size_t>(1, ringValues / 3);  // summed over the three channels

  double residual[3] = {0, 0, 0}, backgroundVariance = 0;
  int64_t residualPixels = 0;
  for (size_t i = 0; i < pixels; ++i) {
    double mb[3], mo[3], vb[3], cov[3], vo[3], sumVb = 0, sumCov = 0, sumVo = 0;
    for (int c = 0; c < 3; ++c) {
      const double* s = &sums_[(3 * i + size_t(c)) * kSums];
      mb[c] = s[kB] / n, mo[c] = s[kO] / n;
      vb[c] = std::max(0.0, s[kBB] / n - mb[c] * mb[c]);
      vo[c] = std::max(0.0, s[kOO] / n - mo[c] * mo[c]);
      cov[c] = s[kOB] / n - mo[c] * mb[c];
      sumVb += vb[c], sumCov += cov[c], sumVo += vo[c];
    }
    backgroundVariance += sumVb;
    double a;
    if (method_ == AlphaMethod::kLineFit) {
      // One slope for the three channels: the opacity is shared, and pooling the channels'
      // variance steadies it.
      a = sumVb > 1e-9 ? 1.0 - sumCov / sumVb : 0.0;
    } else {
      a = refVariance > 1e-9 ? 1.0 - std::sqrt(sumVo / refVariance) : 0.0;
    }
    a = std::clamp(a, 0.0, 1.0);
    m.alpha[i] = float(a);
    if (a > kVisibleAlpha) {
      for (int c = 0; c < 3; ++c)
        m.color[3 * i + size_t(c)] = float(std::clamp((mo[c] - (1 - a) * mb[c]) / a, 0.0, 255.0));
    }
  }
  // Quality figures, and the image. Residuals over the visible logo: observed minus the model
  // with the final (clamped) opacity and colour.
  for (size_t i = 0; i < pixels; ++i) {
    const float a = m.alpha[i];
    const int x = box_.left + int(i % size_t(box_.width)), y = box_.top + int(i / size_t(box_.width));
    if (a <= kVisibleAlpha) continue;
    ++q.visiblePixels;
    if (a > kOpaqueAlpha) ++q.opaquePixels;
    uint8_t* px = &m.rgba[(size_t(y) * size_t(width_) + size_t(x)) * 4];
    for (int c = 0; c < 3; ++c) px[c] = uint8_t(std::lround(m.color[3 * i + size_t(c)]));
    px[3] = uint8_t(std::lround(a * 255.0));
    ++residualPixels;
    for (int c = 0; c < 3; ++c) {
      const double* s = &sums_[(3 * i + size_t(c)) * kSums];
      const double k = 1 - a, d = double(a) * m.color[3 * i + size_t(c)];
      // Mean of (o - k b - d)^2 from the sums.
      const double e = s[kOO] / n + k * k * s[kBB] / n + d * d - 2 * k * s[kOB] / n - 2 * d * s[kO] / n +
                       2 * k * d * s[kB] / n;
      residual[c] += std::max(0.0, e);
    }
  }
  for (int c = 0; c < 3; ++c)
    q.residualRms[c] = residualPixels ? std::sqrt(residual[c] / double(residualPixels)) : 0.0;
  backgroundVariance /= double(pixels);
  // The estimate stays in `m` when it is distrusted: the provisional one needs it, and a caller
  // may want to look; it only must not be passed off as sound.
  if (q.framesUsed < kMinFrames) return distrust(TooFew(q));
  if (q.effectiveFrames < double(kMinFrames)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "the picture around the logo was so busy that its %lld frames count as only %.1f well "
                  "predicted ones; at least %d are needed",
                  (long long)q.framesUsed, q.effectiveFrames, int(kMinFrames));
    return distrust(text);
  }
  if (backgroundVariance < kMinBackgroundVariance) {
    return distrust("the picture behind the logo hardly changed over the used frames");
  }
  // Noise alone lifts single pixels just past kVisibleAlpha; a logo stands clear of it somewhere.
  int64_t clear = 0;
  for (float a : m.alpha) clear += a > kClearAlpha;
  if (clear < std::max<int64_t>(kMinLogoPixels, int64_t(pixels) / 100)) {
    return distrust("nothing in the box stands out from the picture around it as a logo");
  }
  const double worst = std::max({q.residualRms[0], q.residualRms[1], q.residualRms[2]});
  if (worst > kMaxResidual) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the fit leaves a residual of %.1f of 255: the box does not hold a logo of fixed opacity",
                  worst);
    return distrust(text);
  }
  q.trustworthy = true;
  return m;
}

void Deblend(const AlphaMatte& matte, const uint8_t* rgb, ptrdiff_t stride, const std::vector<float>& fill,
             std::vector<uint8_t>& out) {
  const int w = matte.width, h = matte.height;
  out.resize(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    std::copy(rgb + ptrdiff_t(y) * stride, rgb + ptrdiff_t(y) * stride + 3 * w, out.begin() + ptrdiff_t(y) * 3 * w);
  const Rect& b = matte.box;
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      const size_t i = size_t(y) * size_t(b.width) + size_t(x);
      const float a = matte.alpha[i];
      if (a <= 0) continue;
      uint8_t* p = &out[(size_t(b.top + y) * size_t(w) + size_t(b.left + x)) * 3];
      for (int c = 0; c < 3; ++c) {
        float v;
        if (a < 0.95f) {
          v = (p[c] - a * matte.color[3 * i + size_t(c)]) / (1 - a);
        } else if (!fill.empty()) {
          v = fill[3 * i + size_t(c)];
        } else {
          continue;
        }
        p[c] = uint8_t(std::lround(std::clamp(v, 0.f, 255.f)));
      }
    }
  }
}

}  // namespace vle::analysis
