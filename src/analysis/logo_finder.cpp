#include "analysis/logo_finder.h"

#include <algorithm>
#include <cstdlib>

namespace vle::analysis {
namespace {

constexpr int kEdgeThreshold = 80;     // Sobel |gx| + |gy|: a step of 20 luma levels
constexpr int kSteadyRange = 40;       // luma levels between the lower and upper quantile
constexpr int kStaticEdgeStep = 24;    // luma levels between steady neighbours two pixels apart
constexpr double kPersistent = 0.5;    // share of samples with a strong gradient
constexpr double kVeryPersistent = 0.85;  // ... enough without steadiness (translucent logos)
constexpr double kFlatFill = 0.6;      // a steady blob filling more of its box than this is flat

struct Measure {
  std::vector<uint8_t> evidence;  // 1: persistent edge at a steady pixel (or very persistent)
  std::vector<uint8_t> steady;    // 1: luma within kSteadyRange between the quantiles
  std::vector<uint8_t> median;
};

struct Group {
  Rect box;
  int count = 0;
  std::vector<int> pixels;  // indices of its evidence pixels
};

bool InCentre(const Rect& a, int x, int y) {
  return x >= a.left + a.width / 4 && x < a.left + 3 * a.width / 4 && y >= a.top + a.height / 4 &&
         y < a.top + 3 * a.height / 4;
}

// `search`: the active picture less a border for the gradient and the bars' ringing.
Measure MeasureSamples(const std::vector<LumaPlane>& samples, const std::vector<bool>& use, const Rect& active,
                       const Rect& search, double lowQuantile) {
  const int w = samples[0].width;
  const size_t n = size_t(w) * size_t(samples[0].height);
  Measure m{std::vector<uint8_t>(n), std::vector<uint8_t>(n), std::vector<uint8_t>(n)};
  std::vector<uint16_t> edges(n);
  int used = 0;
  for (size_t k = 0; k < samples.size(); ++k) {
    if (!use[k]) continue;
    ++used;
    for (int y = search.top; y < search.bottom(); ++y) {
      for (int x = search.left; x < search.right(); ++x) {
        if (InCentre(active, x, y)) continue;
        edges[size_t(y) * size_t(w) + size_t(x)] += SobelMagnitude(samples[k], x, y) >= kEdgeThreshold;
      }
    }
  }
  std::vector<uint8_t> values(static_cast<size_t>(used));
  const size_t lo = size_t(lowQuantile * (used - 1) + 0.5), hi = size_t(used - 1) - lo, mid = size_t(used / 2);
  for (int y = search.top; y < search.bottom(); ++y) {
    for (int x = search.left; x < search.right(); ++x) {
      if (InCentre(active, x, y)) continue;
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      size_t j = 0;
      uint8_t low = 255, high = 0;
      for (size_t k = 0; k < samples.size(); ++k) {
        if (!use[k]) continue;
        const uint8_t v = samples[k].pixels[i];
        values[j++] = v;
        low = std::min(low, v), high = std::max(high, v);
      }
      bool steady = high - low <= kSteadyRange;
      std::nth_element(values.begin(), values.begin() + long(mid), values.end());
      m.median[i] = values[mid];
      if (!steady) {
        std::nth_element(values.begin(), values.begin() + long(lo), values.end());
        const uint8_t a = values[lo];
        std::nth_element(values.begin(), values.begin() + long(hi), values.end());
        steady = values[hi] - a <= kSteadyRange;
      }
      m.steady[i] = steady;
      const double persistence = double(edges[i]) / used;
      m.evidence[i] = (steady && persistence >= kPersistent) || persistence >= kVeryPersistent;
    }
  }
  return m;
}

// Evidence pixels grouped by closeness: cells of `cell` pixels holding evidence, joined when at
// most one empty cell lies between them.
std::vector<Group> GroupEvidence(const Measure& m, int w, int h, int cell) {
  const int cw = (w + cell - 1) / cell, ch = (h + cell - 1) / cell;
  std::vector<int> cellCount(size_t(cw) * size_t(ch));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (m.evidence[size_t(y) * size_t(w) + size_t(x)]) ++cellCount[size_t(y / cell) * size_t(cw) + size_t(x / cell)];
  std::vector<int> label(cellCount.size(), -1);
  int groups = 0;
  std::vector<int> stack;
  for (size_t c = 0; c < cellCount.size(); ++c) {
    if (cellCount[c] == 0 || label[c] >= 0) continue;
    label[c] = groups;
    stack.assign(1, int(c));
    while (!stack.empty()) {
      const int cur = stack.back();
      stack.pop_back();
      const int cx = cur % cw, cy = cur / cw;
      for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
          const int nx = cx + dx, ny = cy + dy;
          if (nx < 0 || ny < 0 || nx >= cw || ny >= ch) continue;
          const size_t nc = size_t(ny) * size_t(cw) + size_t(nx);
          if (cellCount[nc] == 0 || label[nc] >= 0) continue;
          label[nc] = groups;
          stack.push_back(int(nc));
        }
      }
    }
    ++groups;
  }
  std::vector<Group> out(static_cast<size_t>(groups));
  std::vector<int> minX(out.size(), w), minY(out.size(), h), maxX(out.size(), -1), maxY(out.size(), -1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      if (!m.evidence[i]) continue;
      const size_t g = size_t(label[size_t(y / cell) * size_t(cw) + size_t(x / cell)]);
      ++out[g].count;
      out[g].pixels.push_back(int(i));
      minX[g] = std::min(minX[g], x), maxX[g] = std::max(maxX[g], x);
      minY[g] = std::min(minY[g], y), maxY[g] = std::max(maxY[g], y);
    }
  }
  for (size_t g = 0; g < out.size(); ++g) {
    out[g].box = Rect{minX[g], minY[g], maxX[g] - minX[g] + 1, maxY[g] - minY[g] + 1};
  }
  return out;
}

// A group with structure of its own: its steady pixels do not fill its box, or they carry edges
// between steady levels inside it.
bool Structured(const Group& g, const Measure& m, int w) {
  const Rect& b = g.box;
  if (b.width < 4 || b.height < 4 || g.count < 12) return false;
  int64_t steady = 0, staticEdges = 0;
  for (int y = b.top; y < b.bottom(); ++y) {
    for (int x = b.left; x < b.right(); ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      if (!m.steady[i]) continue;
      ++steady;
      const size_t right = i + 2, down = i + 2 * size_t(w);
      if ((x + 2 < b.right() && m.steady[right] && std::abs(m.median[i] - m.median[right]) >= kStaticEdgeStep) ||
          (y + 2 < b.bottom() && m.steady[down] && std::abs(m.median[i] - m.median[down]) >= kStaticEdgeStep)) {
        ++staticEdges;
      }
    }
  }
  const int64_t area = int64_t(b.width) * b.height;
  return double(steady) <= kFlatFill * double(area) || staticEdges >= (b.width + b.height) / 2;
}

// The biggest structured group, or null.
const Group* Best(const std::vector<Group>& groups, const Measure& m, int w) {
  const Group* best = nullptr;
  for (const Group& g : groups) {
    if ((best == nullptr || g.count > best->count) && Structured(g, m, w)) best = &g;
  }
  return best;
}

}  // namespace

int SobelMagnitude(const LumaPlane& p, int x, int y) {
  const uint8_t* up = &p.pixels[size_t(y - 1) * size_t(p.width) + size_t(x)];
  const uint8_t* mid = up + p.width;
  const uint8_t* down = mid + p.width;
  const int gx = (up[1] + 2 * mid[1] + down[1]) - (up[-1] + 2 * mid[-1] + down[-1]);
  const int gy = (down[-1] + 2 * down[0] + down[1]) - (up[-1] + 2 * up[0] + up[1]);
  return std::abs(gx) + std::abs(gy);
}

Rect ActivePicture(const std::vector<LumaPlane>& samples) {
  if (samples.empty()) return Rect{};
  const int w = samples[0].width, h = samples[0].height;
  const int needed = int((samples.size() * 8 + 9) / 10);
  auto isBar = [&](bool row, int index) {
    int dark = 0;
    for (const LumaPlane& s : samples) {
      uint8_t low = 255, high = 0;
      const int length = row ? w : h;
      for (int j = 0; j < length; ++j) {
        const uint8_t v = row ? s.at(j, index) : s.at(index, j);
        low = std::min(low, v), high = std::max(high, v);
      }
      dark += high <= 40 && high - low <= 16;
    }
    return dark >= needed;
  };
  int top = 0, bottom = h, left = 0, right = w;
  while (top < h && isBar(true, top)) ++top;
  while (bottom > top && isBar(true, bottom - 1)) --bottom;
  if (2 * (bottom - top) <= h) top = 0, bottom = h;
  while (left < w && isBar(false, left)) ++left;
  while (right > left && isBar(false, right - 1)) --right;
  if (2 * (right - left) <= w) left = 0, right = w;
  return Rect{left, top, right - left, bottom - top};
}

bool LogoFinder::Add(const LumaPlane& sample) {
  if (sample.width != width_ || sample.height != height_) return false;
  samples_.push_back(sample);
  return true;
}

FinderResult LogoFinder::Find() const {
  FinderResult r;
  r.samples = int(samples_.size());
  if (samples_.size() < 4 || width_ < 16 || height_ < 16) {
    r.why = "too few frames or too small a picture to look for a logo in";
    return r;
  }
  r.active = ActivePicture(samples_);
  // Off the bars' edges (ringing) and the frame's border (gradient).
  const int inset = 3;
  const Rect search{r.active.left + inset, r.active.top + inset, r.active.width - 2 * inset,
                    r.active.height - 2 * inset};
  std::vector<bool> use(samples_.size(), true);
  const int cell = std::max(4, std::min(r.active.width, r.active.height) / 40);

  // First over all samples with the middle half's range, robust to frames without the logo.
  Measure m = MeasureSamples(samples_, use, r.active, search, 0.25);
  std::vector<Group> groups = GroupEvidence(m, width_, height_, cell);
  const Group* best = Best(groups, m, width_);
  if (best == nullptr) {
    r.why = "no logo: nothing steady with edges of its own outside the picture's centre";
    return r;
  }

  // Samples lacking most of the logo's edges did not show it: leave them out and measure again.
  std::vector<double> score(samples_.size());
  for (size_t k = 0; k < samples_.size(); ++k) {
    int strong = 0;
    for (int i : best->pixels) strong += SobelMagnitude(samples_[k], i % width_, i / width_) >= kEdgeThreshold;
    score[k] = double(strong) / double(best->pixels.size());
  }
  std::vector<double> sorted = score;
  std::sort(sorted.begin(), sorted.end());
  const double high = sorted[size_t(0.9 * double(sorted.size() - 1))];
  int kept = 0;
  for (size_t k = 0; k < samples_.size(); ++k) kept += use[k] = score[k] >= 0.5 * high;
  r.withoutLogo = int(samples_.size()) - kept;
  const Group* chosen = best;
  if (kept >= 4) {
    m = MeasureSamples(samples_, use, r.active, search, 0.1);
    groups = GroupEvidence(m, width_, height_, cell);
    if (const Group* refined = Best(groups, m, width_)) chosen = refined;
  } else {
    r.withoutLogo = 0;
  }
  r.found = true;
  r.box = chosen->box;
  r.signature = chosen->pixels;
  // The typical score of the samples that show the logo, on the final signature.
  std::vector<double> present;
  for (size_t k = 0; k < samples_.size(); ++k) {
    if (!use[k]) continue;
    int strong = 0;
    for (int i : r.signature) strong += SobelMagnitude(samples_[k], i % width_, i / width_) >= kEdgeThreshold;
    present.push_back(double(strong) / double(r.signature.size()));
  }
  std::nth_element(present.begin(), present.begin() + long(present.size() / 2), present.end());
  r.presentScore = present[present.size() / 2];
  return r;
}

LogoPresence::LogoPresence(const FinderResult& found, int sampleWidth) {
  if (!found.found || found.signature.empty()) return;
  // One pixel around the box for the gradient.
  area_ = Rect{found.box.left - 1, found.box.top - 1, found.box.width + 2, found.box.height + 2};
  for (int i : found.signature) {
    const int x = i % sampleWidth - area_.left, y = i / sampleWidth - area_.top;
    if (x >= 1 && y >= 1 && x < area_.width - 1 && y < area_.height - 1) pixels_.push_back(y * area_.width + x);
  }
  threshold_ = 0.5 * found.presentScore;
}

bool LogoPresence::Shows(const LumaPlane& luma) const {
  if (pixels_.empty()) return true;
  if (luma.width != area_.width || luma.height != area_.height) return true;
  int strong = 0;
  for (int i : pixels_) strong += SobelMagnitude(luma, i % area_.width, i / area_.width) >= kEdgeThreshold;
  return double(strong) >= threshold_ * double(pixels_.size());
}

}  // namespace vle::analysis
