#include "analysis/logo_finder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vle::analysis {
namespace {

constexpr int kRadius = 3;             // high-pass: luma less the mean of its 7 x 7 neighbourhood
constexpr int kMinLooks = 3;           // different pictures around a pixel before it can be judged
constexpr double kLookChange = 7.0;    // mean |luma difference| that makes the surroundings another picture
constexpr int kMaxLooks = 64;          // looks kept per block: enough to judge, bounded cost
constexpr double kAgreement = 0.5;     // share of scenes that keep the logo's edges, from eight scenes on
constexpr double kSceneChange = 20.0;  // mean |luma difference| between the surroundings of two scenes
constexpr double kMinMean = 2.0;       // luma levels of mean high-pass: below it is noise
constexpr double kMinSteadiness = 1.0; // |mean| / spread of the scenes' mean high-pass
constexpr double kMaxSideShare = 0.25; // a logo is at most a quarter of the picture's width and height
constexpr double kBand = 0.25;         // ... and lies within this share of an edge
constexpr double kSideMiddle = 0.7;    // twice the share of the height from which a box's centre is halfway down a side
constexpr int kMinEvidence = 12;       // evidence pixels of the smallest candidate
constexpr double kTranslucentShare = 0.6;  // share of a logo's evidence in its edges alone that makes it translucent
constexpr int kPartGap = 4;            // lines without evidence that separate a glass-like logo from scenery
constexpr size_t kHeldCandidates = 6;  // candidates matched against every sample
constexpr double kMinShown = 0.6;      // share of the samples a logo must be shown in, breaks and all
constexpr double kTypicalSide = 0.03;  // share of the picture's width below which a logo is unusually small
constexpr double kFlatFill = 0.6;      // still pixels filling more of a box than this make it flat ...
constexpr int kStillEdge = 24;         // ... unless luma steps of this size between them structure it
constexpr int kStillRange = 12;        // luma levels within which a pixel counts as never changing
constexpr int kPresentLuma = 16;       // luma levels an opaque logo pixel may be off and still be shown
constexpr double kMinScore = 0.15;     // logo-likeness a candidate needs to be taken for a logo
constexpr size_t kMinTranslucentScenes = 4;  // a faint logo shows only in its edges: more scenes to trust them
constexpr size_t kManyScenes = 8;      // scenes from which a translucent logo's edges may vary in size ...
constexpr double kMinT = 4.0;          // ... when their mean stands this far out of its standard error
constexpr double kDarkLuma = 48;       // luma below which a still pixel is too common to prove much ...
constexpr size_t kDarkScenes = 5;      // ... in fewer scenes than this
constexpr double kSteadyLuma = 6.0;    // luma levels a scene's mean may differ from the scenes' median
constexpr int kMinCellEvidence = 4;    // evidence pixels that make a cell part of a candidate

enum : uint8_t { kOpaque = 1, kTranslucent = 2 };

// Per pixel, over the scenes of its block: the mean of the scenes' mean high-pass and its spread,
// how sure the evidence is (0..1), and whether it is evidence of an opaque or a translucent logo.
struct Evidence {
  std::vector<float> mean, spread, agreement;
  std::vector<uint8_t> luma;    // the scenes' median luma
  std::vector<uint8_t> looks;   // scenes around the pixel; 0 where it was not judged
  std::vector<uint8_t> marked;  // kOpaque or kTranslucent evidence, 0 elsewhere
  std::vector<uint8_t> still;   // hardly changed over the samples at all
  std::vector<uint8_t> level;   // the median luma over the samples
};

struct Group {
  Rect box;
  std::vector<int> pixels;  // indices of its evidence pixels
};

// The high-pass of a plane in 1/16 luma levels: each value less the mean of its (2r+1)^2
// neighbourhood clipped to the plane.
void HighPass(const LumaPlane& p, std::vector<int32_t>& integral, std::vector<int16_t>& out) {
  const int w = p.width, h = p.height, r = kRadius;
  integral.assign(size_t(w + 1) * size_t(h + 1), 0);
  for (int y = 0; y < h; ++y) {
    int32_t row = 0;
    for (int x = 0; x < w; ++x) {
      row += p.pixels[size_t(y) * size_t(w) + size_t(x)];
      integral[size_t(y + 1) * size_t(w + 1) + size_t(x + 1)] = integral[size_t(y) * size_t(w + 1) + size_t(x + 1)] + row;
    }
  }
  out.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const int y0 = std::max(0, y - r), y1 = std::min(h, y + r + 1);
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - r), x1 = std::min(w, x + r + 1);
      const int32_t sum = integral[size_t(y1) * size_t(w + 1) + size_t(x1)] - integral[size_t(y0) * size_t(w + 1) + size_t(x1)] -
                          integral[size_t(y1) * size_t(w + 1) + size_t(x0)] + integral[size_t(y0) * size_t(w + 1) + size_t(x0)];
      const int32_t n = (y1 - y0) * (x1 - x0);
      const int32_t v = p.pixels[size_t(y) * size_t(w) + size_t(x)];
      out[size_t(y) * size_t(w) + size_t(x)] = int16_t((v * n - sum) * 16 / n);  // 1/16 levels
    }
  }
}

// Where a logo may lie: an outer band of the active picture, off its centre.
bool InBand(const Rect& a, int x, int y) {
  const int bx = int(a.width * kBand), by = int(a.height * kBand);
  return x < a.left + bx || x >= a.right() - bx || y < a.top + by || y >= a.bottom() - by;
}

// Blocks of the picture and, per block, the samples that show its surroundings (the block and its
// eight neighbours) as a picture different from every earlier one. A long shot is one look however
// many samples it spans; a frozen or repeated picture adds none.
struct Looks {
  int block = 16, bw = 0, bh = 0;
  std::vector<std::vector<int>> of;  // per block, sample indices
  // Pixels that hardly change over the samples at all (a logo, a frozen corner): they are what
  // is judged, never what tells whether the picture around changed.
  std::vector<uint8_t> still;
  std::vector<uint8_t> level;  // the median luma over the samples
};

// How different the surroundings of block `b` are in samples `p` and `q`: the median, over the
// block and its eight neighbours, of each one's mean |luma difference| at the pixels that are not
// still. Something passing through a part of the surroundings changes a few of them; a cut changes
// most. 0 when too little around the block ever changes to tell.
double SurroundChange(const LumaPlane& p, const LumaPlane& q, const Looks& l, size_t b) {
  const int w = p.width, h = p.height;
  const int bx = int(b % size_t(l.bw)), by = int(b / size_t(l.bw));
  const int step = std::max(2, l.block / 6);
  double d[9];
  int n = 0;
  for (int ny = by - 1; ny <= by + 1; ++ny) {
    for (int nx = bx - 1; nx <= bx + 1; ++nx) {
      if (nx < 0 || ny < 0 || nx >= l.bw || ny >= l.bh) continue;
      const int x0 = nx * l.block, x1 = std::min(w, x0 + l.block), y0 = ny * l.block, y1 = std::min(h, y0 + l.block);
      int64_t diff = 0, count = 0, all = 0;
      for (int y = y0; y < y1; y += step) {
        for (int x = x0; x < x1; x += step) {
          const size_t i = size_t(y) * size_t(w) + size_t(x);
          ++all;
          if (l.still[i]) continue;
          diff += std::abs(int(p.pixels[i]) - int(q.pixels[i]));
          ++count;
        }
      }
      if (count * 4 >= all && count > 0) d[n++] = double(diff) / double(count);
    }
  }
  if (n < 3) return 0;
  std::nth_element(d, d + n / 2, d + n);
  return d[n / 2];
}

Looks FindLooks(const std::vector<LumaPlane>& samples, const std::vector<bool>& use) {
  Looks l;
  const int w = samples[0].width, h = samples[0].height;
  l.block = std::max(8, std::min(w, h) / 24);
  l.bw = (w + l.block - 1) / l.block, l.bh = (h + l.block - 1) / l.block;
  l.of.resize(size_t(l.bw) * size_t(l.bh));
  // Still: the middle 60 % of a pixel's values within a few levels, so that samples without the
  // logo (breaks) do not make it move.
  l.still.assign(size_t(w) * size_t(h), 0);
  l.level.assign(size_t(w) * size_t(h), 0);
  std::vector<uint8_t> values;
  for (size_t i = 0; i < l.still.size(); ++i) {
    values.clear();
    for (size_t k = 0; k < samples.size(); ++k)
      if (use[k]) values.push_back(samples[k].pixels[i]);
    const size_t lo = values.size() / 5, hi = values.size() - 1 - lo;
    std::nth_element(values.begin(), values.begin() + long(lo), values.end());
    const int low = values[lo];
    std::nth_element(values.begin(), values.begin() + long(hi), values.end());
    l.still[i] = values[hi] - low <= kStillRange;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    l.level[i] = values[values.size() / 2];
  }
  for (size_t b = 0; b < l.of.size(); ++b) {
    std::vector<int>& looks = l.of[b];
    for (size_t k = 0; k < samples.size(); ++k) {
      if (!use[k]) continue;
      bool different = true;
      for (int j : looks) {
        if (SurroundChange(samples[k], samples[size_t(j)], l, b) < kLookChange) {
          different = false;
          break;
        }
      }
      if (different) {
        looks.push_back(int(k));
        if (int(looks.size()) >= kMaxLooks) break;
      }
    }
  }
  return l;
}

// The looks of a block grouped into scenes: a look joins the first scene whose first look its
// surroundings resemble (mean |difference| below kSceneChange); a cut to another camera, or the
// same camera after the picture changed, starts a new one.
struct Scenes {
  size_t count = 0;
  std::vector<size_t> of;  // per look, its scene
};

Scenes GroupLooks(const std::vector<LumaPlane>& samples, const Looks& l, size_t b) {
  Scenes s;
  std::vector<int> first;
  for (int k : l.of[b]) {
    size_t scene = first.size();
    for (size_t j = 0; j < first.size(); ++j) {
      if (SurroundChange(samples[size_t(k)], samples[size_t(first[j])], l, b) < kSceneChange) {
        scene = j;
        break;
      }
    }
    if (scene == first.size()) first.push_back(k);
    s.of.push_back(scene);
  }
  s.count = first.size();
  return s;
}

Evidence Measure(const std::vector<LumaPlane>& samples, const std::vector<bool>& use, const Rect& search,
                 const Rect& active, bool bandOnly) {
  const int w = samples[0].width, h = samples[0].height;
  const size_t n = size_t(w) * size_t(h);
  Evidence e;
  e.mean.assign(n, 0), e.spread.assign(n, 0), e.agreement.assign(n, 0);
  e.luma.assign(n, 0), e.looks.assign(n, 0), e.marked.assign(n, 0);
  const Looks looks = FindLooks(samples, use);
  e.still = looks.still, e.level = looks.level;
  std::vector<std::vector<int16_t>> hp(samples.size());
  std::vector<int32_t> integral;
  for (size_t k = 0; k < samples.size(); ++k) {
    if (use[k]) HighPass(samples[k], integral, hp[k]);
  }
  std::vector<Scenes> scenes(looks.of.size());
  for (size_t b = 0; b < looks.of.size(); ++b) scenes[b] = GroupLooks(samples, looks, b);
  std::vector<double> sceneHp(kMaxLooks), sceneLuma(kMaxLooks), lumaSorted(kMaxLooks);
  std::vector<int> sceneN(kMaxLooks);
  std::vector<float> v(kMaxLooks);
  for (int y = search.top; y < search.bottom(); ++y) {
    for (int x = search.left; x < search.right(); ++x) {
      if (bandOnly && !InBand(active, x, y)) continue;
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const size_t b = size_t(y / looks.block) * size_t(looks.bw) + size_t(x / looks.block);
      const std::vector<int>& of = looks.of[b];
      const size_t count = of.size();
      e.looks[i] = uint8_t(count);
      if (count < size_t(kMinLooks)) continue;
      for (size_t k = 0; k < count; ++k) v[k] = hp[size_t(of[k])][i] / 16.0f;
      // Per scene the mean high-pass and luma (a shot's gestures average out), then across scenes:
      // each scene counts once, however long it lasted.
      const Scenes& sc = scenes[b];
      const size_t ns = sc.count;
      std::fill(sceneHp.begin(), sceneHp.begin() + long(ns), 0.0);
      std::fill(sceneLuma.begin(), sceneLuma.begin() + long(ns), 0.0);
      std::fill(sceneN.begin(), sceneN.begin() + long(ns), 0);
      for (size_t k = 0; k < count; ++k) {
        sceneHp[sc.of[k]] += v[k], sceneLuma[sc.of[k]] += samples[size_t(of[k])].pixels[i], ++sceneN[sc.of[k]];
      }
      double mean = 0;
      for (size_t j = 0; j < ns; ++j) {
        sceneHp[j] /= sceneN[j], sceneLuma[j] /= sceneN[j];
        mean += sceneHp[j];
      }
      mean /= double(ns);
      std::copy(sceneLuma.begin(), sceneLuma.begin() + long(ns), lumaSorted.begin());
      std::nth_element(lumaSorted.begin(), lumaSorted.begin() + long(ns / 2), lumaSorted.begin() + long(ns));
      const double medianLuma = lumaSorted[ns / 2];
      e.luma[i] = uint8_t(std::lround(medianLuma));
      // Scenes without the logo (breaks) are tolerated once there are enough scenes to outvote them.
      const int needed = ns <= 4 ? int(ns) : ns < 8 ? int(ns) - 1 : int(std::ceil(kAgreement * double(ns)));
      int sameSign = 0, sameSize = 0, sameLuma = 0;
      double spread = 0, steadyEdge = 0;
      for (size_t j = 0; j < ns; ++j) {
        const double m = sceneHp[j];
        const bool sign = mean > 0 ? m >= mean / 3 : m <= mean / 3;
        const bool luma = std::abs(sceneLuma[j] - medianLuma) <= kSteadyLuma;
        sameSign += sign;
        sameSize += sign && std::abs(m - mean) <= 0.5 * std::abs(mean) + 1.0;
        sameLuma += luma;
        if (luma) steadyEdge += std::abs(m);
        spread += (m - mean) * (m - mean);
      }
      steadyEdge /= std::max(1, sameLuma);
      e.mean[i] = float(mean), e.spread[i] = float(std::sqrt(spread / double(ns)));
      e.agreement[i] = float(double(std::max(sameSize, sameLuma)) / double(ns));
      e.looks[i] = uint8_t(std::min<size_t>(255, ns));
      if (ns < 2) continue;
      // An opaque logo keeps its luma in the scenes, near edges of its own (whose sign follows the
      // picture behind it: a white logo is darker than a white sky around it); a translucent one
      // keeps only its edges, whose sign and size must then agree, over more scenes. Two scenes
      // agree by chance far more often than many: with two, the edges must agree as well.
      // Black is everywhere (outlines, shadows, frames, night): dark pixels agree by chance, and
      // need more scenes to count.
      const bool dark = medianLuma < kDarkLuma && ns < kDarkScenes;
      const bool opaque = !dark && sameLuma >= needed && steadyEdge >= kMinMean && (ns > 2 || sameSize >= needed);
      // Over many scenes a semi-transparent logo's edges keep their sign while their size follows
      // the picture behind (a white logo at half opacity stands out of a dark picture far more than
      // of a bright one): there the sign, and a mean that stands out of its standard error, do.
      const double t = std::abs(mean) * std::sqrt(double(ns)) / (e.spread[i] + 1.0);
      const bool sizeHolds = sameSize >= needed && std::abs(mean) >= kMinSteadiness * e.spread[i];
      const bool signHolds = ns >= kManyScenes && sameSign >= needed && t >= kMinT;
      const bool translucent = ns >= kMinTranslucentScenes && std::abs(mean) >= kMinMean && (sizeHolds || signHolds);
      e.marked[i] = opaque ? kOpaque : translucent ? kTranslucent : 0;
      // How sure the evidence is: the share of scenes that keep the logo's luma, or for a
      // translucent pixel its edges, scaled by how far they stand out of their spread.
      if (opaque) {
        e.agreement[i] = float(double(sameLuma) / double(ns));
      } else if (translucent) {
        e.agreement[i] = sizeHolds ? float(double(sameSize) / double(ns) *
                                           std::min(1.0, std::abs(mean) / (2.0 * (e.spread[i] + 1.0))))
                                   : float(double(sameSign) / double(ns) * std::min(1.0, t / kMinT));
      }
    }
  }
  return e;
}

// Marked pixels grouped by closeness: cells of `cell` pixels holding at least `minCell` of them,
// joined when at most `reach` - 1 cells lie between them.
std::vector<Group> GroupCells(const std::vector<uint8_t>& marked, int w, int h, int cell, int minCell, int reach) {
  const int cw = (w + cell - 1) / cell, ch = (h + cell - 1) / cell;
  std::vector<int> cellCount(size_t(cw) * size_t(ch));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (marked[size_t(y) * size_t(w) + size_t(x)]) ++cellCount[size_t(y / cell) * size_t(cw) + size_t(x / cell)];
  std::vector<int> label(cellCount.size(), -1);
  int groups = 0;
  std::vector<int> stack;
  for (size_t c = 0; c < cellCount.size(); ++c) {
    if (cellCount[c] < minCell || label[c] >= 0) continue;
    label[c] = groups;
    stack.assign(1, int(c));
    while (!stack.empty()) {
      const int cur = stack.back();
      stack.pop_back();
      const int cx = cur % cw, cy = cur / cw;
      for (int dy = -reach; dy <= reach; ++dy) {
        for (int dx = -reach; dx <= reach; ++dx) {
          const int nx = cx + dx, ny = cy + dy;
          if (nx < 0 || ny < 0 || nx >= cw || ny >= ch) continue;
          const size_t nc = size_t(ny) * size_t(cw) + size_t(nx);
          if (cellCount[nc] < minCell || label[nc] >= 0) continue;
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
      if (!marked[i]) continue;
      const int l = label[size_t(y / cell) * size_t(cw) + size_t(x / cell)];
      if (l < 0) continue;
      const size_t g = size_t(l);
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

// The candidates: evidence grouped by closeness. A group too large for a logo is often a logo
// joined to scenery that happened to agree; it is split by asking more of its cells, and its parts
// become candidates of their own.
std::vector<Group> GroupEvidence(const Evidence& m, int w, int h, int cell, const Rect& active) {
  int64_t marked = 0, judged = 0;
  for (size_t i = 0; i < m.marked.size(); ++i) judged += m.looks[i] > 0, marked += m.marked[i] != 0;
  // Evidence scattered by chance over the picture (few scenes, busy scenery) sets the floor a cell
  // must stand out of, so that chance evidence cannot join into one big candidate.
  const double chance = judged > 0 ? double(marked) / double(judged) : 0;
  const int minCell = std::max(kMinCellEvidence, int(std::ceil(3 * chance * cell * cell)));
  std::vector<Group> out, work = GroupCells(m.marked, w, h, cell, minCell, 1);
  std::vector<uint8_t> only(m.marked.size());
  for (int round = 0; !work.empty(); ++round) {
    std::vector<Group> next;
    for (Group& g : work) {
      const bool large = g.box.width > kMaxSideShare * active.width || g.box.height > kMaxSideShare * active.height;
      if (!large || round == 3) {
        out.push_back(std::move(g));
        continue;
      }
      for (int i : g.pixels) only[size_t(i)] = 1;
      std::vector<Group> parts = GroupCells(only, w, h, cell, std::min(cell * cell, minCell * 2), 1);
      for (int i : g.pixels) only[size_t(i)] = 0;
      if (parts.empty()) out.push_back(std::move(g));
      for (Group& part : parts) next.push_back(std::move(part));
    }
    work.swap(next);
  }
  return out;
}

// Intersection over the smaller box's area.
double Overlap(const Rect& a, const Rect& b) {
  const int w = std::min(a.right(), b.right()) - std::max(a.left, b.left);
  const int h = std::min(a.bottom(), b.bottom()) - std::max(a.top, b.top);
  if (w <= 0 || h <= 0) return 0;
  return double(w) * h / double(std::min(int64_t(a.width) * a.height, int64_t(b.width) * b.height));
}

struct Ranked {
  Candidate c;
  const Group* group;
};

std::string Phrase(const char* format, double a, double b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// How logo-like a group is, and whether it can be a logo at all.
// A candidate with structure of its own: its still pixels do not fill its box, or they carry
// edges between still levels inside it. A plain box or a frozen band does neither.
bool Structured(const Group& g, const Evidence& e, const std::vector<uint8_t>& still, int w) {
  const Rect& b = g.box;
  int64_t count = 0, edges = 0;
  for (int y = b.top; y < b.bottom(); ++y) {
    for (int x = b.left; x < b.right(); ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      if (!still[i]) continue;
      ++count;
      const size_t right = i + 2, down = i + 2 * size_t(w);
      if ((x + 2 < b.right() && still[right] && std::abs(e.level[i] - e.level[right]) >= kStillEdge) ||
          (y + 2 < b.bottom() && still[down] && std::abs(e.level[i] - e.level[down]) >= kStillEdge)) {
        ++edges;
      }
    }
  }
  return double(count) <= kFlatFill * double(b.width) * b.height || edges >= (b.width + b.height) / 2;
}

Ranked Rank(const Group& g, const Evidence& e, const Rect& active, int w) {
  Ranked r{Candidate{}, &g};
  Candidate& c = r.c;
  c.box = g.box;
  const Rect& b = g.box;
  const double count = double(g.pixels.size());
  double agreement = 0;
  for (int i : g.pixels) agreement += e.agreement[size_t(i)];
  agreement /= count;
  const double perimeter = 2.0 * (b.width + b.height);
  const double density = count / perimeter;
  // Corners first: how far the box is from the nearest corner, in shares of the band.
  const double dx = std::min(b.left - active.left, active.right() - b.right()) / (kBand * active.width);
  const double dy = std::min(b.top - active.top, active.bottom() - b.bottom()) / (kBand * active.height);
  const double place = 1.0 - 0.3 * std::min(1.0, std::max(dx, dy));
  // Captions and strips are lines of text: long and low. A logo is rarely more than three times as
  // wide as it is high.
  const double aspect = double(std::max(b.width, b.height)) / std::max(1, std::min(b.width, b.height));
  const double fAgree = std::clamp((agreement - 0.3) / 0.6, 0.0, 1.0);
  const double fDensity = 0.4 + 0.6 * std::min(1.0, density / 1.5);
  const double fAspect = std::min(1.0, 2.5 / aspect);
  // Logos are rarely smaller than 3 % of the picture's width; specks of chance agreement are.
  const double fSize = std::min(1.0, std::max(b.width, b.height) / (kTypicalSide * active.width));
  c.score = fAgree * fDensity * place * fAspect * fSize;
  if (b.width > kMaxSideShare * active.width || b.height > kMaxSideShare * active.height) {
    c.why = Phrase("too large for a logo (%.0f %% of the width, %.0f %% of the height)", 100.0 * b.width / active.width,
                   100.0 * b.height / active.height);
  } else if (2 * b.top + b.height > 2 * active.top + kSideMiddle * active.height &&
             2 * b.top + b.height < 2 * active.top + (2 - kSideMiddle) * active.height) {
    // Logos sit in the corners or along the top or the bottom, not halfway down a side.
    c.why = "halfway down a side of the picture, where logos are not";
  } else if (b.width < 4 || b.height < 4 || count < kMinEvidence) {
    c.why = "too small: a few scattered edges";
  } else if (!Structured(g, e, e.still, w)) {
    c.why = "flat: a still area without structure of its own (a plain box, a frozen band)";
  } else if (c.score < kMinScore) {
    c.why = Phrase("too weak: its edges barely stand out of the changing picture (score %.2f)", c.score);
  } else {
    c.qualifies = true;
    c.why = Phrase("steady across changes of the picture (%.0f %% agreement)", 100.0 * agreement) +
            Phrase(", %.1f edge px per px of outline, ", density) + (place > 0.8 ? "near a corner" : "along an edge");
  }
  return r;
}

// How much of the logo a frame shows, 0..1: at an opaque pixel whether its luma is the logo's, over
// the translucent ones how closely the frame's high-pass follows the logo's (their correlation: a
// translucent logo's edges are as strong as the picture behind it is unlike the logo's colour, so
// only their pattern, not their size, tells that it is there).
double Match(const LumaPlane& luma, const std::vector<int16_t>& hp, const LogoModel& m) {
  int opaque = 0, steady = 0;
  double dot = 0, frame = 0, model = 0;
  for (size_t j = 0; j < m.pixels.size(); ++j) {
    const size_t i = size_t(m.pixels[j]);
    if (m.opaque[j]) {
      ++opaque;
      steady += std::abs(int(luma.pixels[i]) - int(m.luma[j])) <= kPresentLuma;
    } else {
      const double v = hp[i] / 16.0;
      dot += v * m.hp[j], frame += v * v, model += double(m.hp[j]) * m.hp[j];
    }
  }
  const size_t translucent = m.pixels.size() - size_t(opaque);
  const double follow = frame > 0 && model > 0 ? std::abs(dot) / std::sqrt(frame * model) : 0;
  return (steady + follow * double(translucent)) / double(std::max<size_t>(1, m.pixels.size()));
}

// A glass-like logo's evidence is faint, and chance evidence of the scenery beside it joins it:
// the group is cut where rows or columns without evidence separate it, and the part holding most
// of the evidence kept.
void KeepLargestPart(Group& g, int w) {
  for (bool changed = true; changed && !g.pixels.empty();) {
    changed = false;
    for (int axis = 0; axis < 2 && !changed; ++axis) {
      const int lo = axis == 0 ? g.box.left : g.box.top, n = axis == 0 ? g.box.width : g.box.height;
      std::vector<int> count(static_cast<size_t>(n));
      for (int i : g.pixels) ++count[size_t((axis == 0 ? i % w : i / w) - lo)];
      // Runs of lines holding evidence, split by empty lines: kPartGap or more, and a sixth of the
      // box, so that the faint logo's own sparse lines hold together.
      const int gap = std::max(kPartGap, n / 6);
      int best = 0, bestFrom = 0, bestTo = n, from = 0, sum = 0, empty = 0;
      for (int k = 0; k <= n; ++k) {
        if (k < n && count[size_t(k)] > 0) {
          if (empty >= gap && sum > 0) {
            if (sum > best) best = sum, bestFrom = from, bestTo = k - empty;
            from = k, sum = 0;
          }
          sum += count[size_t(k)], empty = 0;
        } else {
          ++empty;
        }
      }
      if (sum > best) best = sum, bestFrom = from, bestTo = n;
      if (bestFrom == 0 && bestTo == n) continue;
      std::vector<int> kept;
      for (int i : g.pixels) {
        const int v = (axis == 0 ? i % w : i / w) - lo;
        if (v >= bestFrom && v < bestTo) kept.push_back(i);
      }
      g.pixels.swap(kept);
      int x0 = w, y0 = 1 << 30, x1 = -1, y1 = -1;
      for (int i : g.pixels) x0 = std::min(x0, i % w), x1 = std::max(x1, i % w), y0 = std::min(y0, i / w), y1 = std::max(y1, i / w);
      g.box = Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
      changed = true;
    }
  }
}

// The logo's pixels over its box: its evidence with gaps of a pixel closed and enclosed holes
// filled (the flat inside of a wide stroke has no edges of its own).
LumaPlane Shape(const Group& g, const Rect& box, int w) {
  LumaPlane m(box.width, box.height);
  for (int i : g.pixels) m.at(i % w - box.left, i / w - box.top) = 255;
  LumaPlane closed = m;
  for (int y = 0; y < box.height; ++y) {
    for (int x = 0; x < box.width; ++x) {
      if (m.at(x, y)) continue;
      const bool across = x > 0 && x + 1 < box.width && m.at(x - 1, y) && m.at(x + 1, y);
      const bool down = y > 0 && y + 1 < box.height && m.at(x, y - 1) && m.at(x, y + 1);
      if (across || down) closed.at(x, y) = 255;
    }
  }
  return FillEnclosed(closed);
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
  const int inset = kRadius + 1;
  Rect search{r.active.left + inset, r.active.top + inset, r.active.width - 2 * inset, r.active.height - 2 * inset};
  const bool restricted = !area_.empty();
  if (restricted) {
    const int l = std::max(search.left, area_.left), t = std::max(search.top, area_.top);
    const int rr = std::min(search.right(), area_.right()), bb = std::min(search.bottom(), area_.bottom());
    search = Rect{l, t, rr - l, bb - t};
    if (search.empty()) {
      r.why = "no logo: the area to look in lies outside the picture";
      return r;
    }
  }
  std::vector<bool> use(samples_.size(), true);
  const int cell = std::max(4, std::min(r.active.width, r.active.height) / 40);

  auto rankAll = [&](const Evidence& e, const std::vector<Group>& groups) {
    std::vector<Ranked> ranked;
    for (const Group& g : groups) ranked.push_back(Rank(g, e, r.active, width_));
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
      if (a.c.qualifies != b.c.qualifies) return a.c.qualifies;
      return a.c.score > b.c.score;
    });
    return ranked;
  };

  Evidence e = Measure(samples_, use, search, r.active, !restricted);
  std::vector<Group> groups = GroupEvidence(e, width_, height_, cell, r.active);
  std::vector<Ranked> ranked = rankAll(e, groups);
  auto keepCandidates = [&](const std::vector<Ranked>& list) {
    r.candidates.clear();
    for (size_t i = 0; i < list.size() && i < 8; ++i) r.candidates.push_back(list[i].c);
  };
  keepCandidates(ranked);
  if (ranked.empty() || !ranked[0].c.qualifies) {
    r.why = "no logo: nothing near an edge of the picture stayed steady while the picture changed";
    if (!ranked.empty()) r.why += " (the best candidate was " + ranked[0].c.why + ")";
    return r;
  }

  auto modelOf = [](const Group& g, const Evidence& ev) {
    LogoModel m;
    m.pixels = g.pixels;
    for (int i : g.pixels) {
      m.hp.push_back(ev.mean[size_t(i)]);
      m.luma.push_back(ev.luma[size_t(i)]);
      m.opaque.push_back(ev.marked[size_t(i)] == kOpaque);
    }
    return m;
  };
  // How well each sample shows a candidate, and which samples lack it: those scoring less than
  // half of what the samples showing it typically score.
  auto scoreSamples = [&](const Rect& box, const LogoModel& m, std::vector<double>& score) {
    FinderResult trial;
    trial.found = true, trial.box = box, trial.model = m;
    const LogoPresence presence(trial, width_);
    const Rect& a = presence.area();
    LumaPlane crop(a.width, a.height);
    score.assign(samples_.size(), 0);
    for (size_t k = 0; k < samples_.size(); ++k) {
      for (int y = 0; y < a.height; ++y)
        std::copy_n(&samples_[k].pixels[size_t(a.top + y) * size_t(width_) + size_t(a.left)], a.width,
                    &crop.pixels[size_t(y) * size_t(a.width)]);
      score[k] = presence.Score(crop);
    }
    std::vector<double> sorted = score;
    std::sort(sorted.begin(), sorted.end());
    return sorted[size_t(0.8 * double(sorted.size() - 1))];
  };

  // A logo is on screen in most of a recording, breaks aside; scenery that happened to agree (a
  // picture shown for a while, a caption) is missing from many samples. The few best candidates
  // are matched against every sample, and the best of those shown in most of them is the logo.
  struct Held {
    std::vector<double> score;
    double typical = 0;
  };
  std::vector<Held> held(std::min<size_t>(ranked.size(), kHeldCandidates));
  for (size_t c = 0; c < held.size() && ranked[c].c.qualifies; ++c) {
    Held& h = held[c];
    h.typical = scoreSamples(ranked[c].c.box, modelOf(*ranked[c].group, e), h.score);
    std::vector<double> shownScores;
    for (double v : h.score)
      if (v >= 0.5 * h.typical) shownScores.push_back(v);
    const double share = double(shownScores.size()) / double(samples_.size());
    if (h.typical <= 0 || share < kMinShown) {
      ranked[c].c.qualifies = false;
      ranked[c].c.why = Phrase("absent from %.0f %% of the samples: a logo stays on screen", 100.0 * (1.0 - share));
      continue;
    }
  }
  for (size_t c = held.size(); c < ranked.size(); ++c) {
    if (!ranked[c].c.qualifies) continue;
    ranked[c].c.qualifies = false;
    ranked[c].c.why = "ranked too low to be matched against the samples";
  }
  std::vector<size_t> order(ranked.size());
  for (size_t c = 0; c < order.size(); ++c) order[c] = c;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (ranked[a].c.qualifies != ranked[b].c.qualifies) return bool(ranked[a].c.qualifies);
    return ranked[a].c.score > ranked[b].c.score;
  });
  if (order.empty() || !ranked[order[0]].c.qualifies) {
    keepCandidates(ranked);
    r.why = "no logo: nothing near an edge of the picture stayed on screen and steady while the picture changed";
    return r;
  }
  std::vector<double> score = held[order[0]].score;
  const double typical = held[order[0]].typical;
  std::vector<Ranked> reordered;
  for (size_t c : order) reordered.push_back(ranked[c]);
  ranked.swap(reordered);
  keepCandidates(ranked);
  LogoModel model = modelOf(*ranked[0].group, e);

  // Samples that lack the logo (advertising breaks) are left out, and the evidence measured again.
  int kept = 0;
  for (size_t k = 0; k < samples_.size(); ++k) kept += use[k] = score[k] >= 0.5 * typical;
  r.withoutLogo = int(samples_.size()) - kept;
  const Group* group = ranked[0].group;
  if (r.withoutLogo > 0 && kept >= 4) {
    Evidence again = Measure(samples_, use, search, r.active, !restricted);
    std::vector<Group> regrouped = GroupEvidence(again, width_, height_, cell, r.active);
    std::vector<Ranked> reranked = rankAll(again, regrouped);
    // Leaving samples out must sharpen the logo found, not make another one: scenery that the left
    // out samples contradicted would otherwise win.
    if (!reranked.empty() && reranked[0].c.qualifies && Overlap(reranked[0].c.box, ranked[0].c.box) >= 0.5) {
      e = std::move(again);
      groups = std::move(regrouped);
      ranked = std::move(reranked);
      keepCandidates(ranked);
      group = ranked[0].group;
      model = modelOf(*group, e);
    }
  } else if (kept < 4) {
    r.withoutLogo = 0;
    std::fill(use.begin(), use.end(), true);
  }
  r.found = true;
  r.box = ranked[0].c.box;
  r.model = model;
  // A logo whose evidence is mostly its edges rather than its luma is too translucent for the
  // steadiness rule; its shape is its edges alone, without still scenery that joined it.
  Group core = *group;
  int64_t translucent = 0;
  for (int i : group->pixels) translucent += e.marked[size_t(i)] == kTranslucent;
  r.translucent = double(translucent) >= kTranslucentShare * double(group->pixels.size());
  if (r.translucent) {
    core.pixels.clear();
    int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
    for (int i : group->pixels) {
      if (e.marked[size_t(i)] != kTranslucent) continue;
      core.pixels.push_back(i);
      x0 = std::min(x0, i % width_), x1 = std::max(x1, i % width_);
      y0 = std::min(y0, i / width_), y1 = std::max(y1, i / width_);
    }
    core.box = Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    KeepLargestPart(core, width_);
    r.box = core.box;
  }
  r.shape = Shape(core, r.box, width_);
  std::vector<double> present;
  scoreSamples(r.box, model, score);
  for (size_t k = 0; k < samples_.size(); ++k)
    if (use[k]) present.push_back(score[k]);
  std::nth_element(present.begin(), present.begin() + long(present.size() / 2), present.end());
  r.presentScore = present[present.size() / 2];
  // As LogoPresence will judge the frames: by the final model.
  r.withoutLogo = 0;
  for (double v : score) r.withoutLogo += v < 0.5 * r.presentScore;
  return r;
}

LogoPresence::LogoPresence(const FinderResult& found, int sampleWidth) {
  if (!found.found || found.model.pixels.empty()) return;
  // Room around the box for the high-pass's neighbourhood.
  const int m = kRadius + 1;
  area_ = Rect{found.box.left - m, found.box.top - m, found.box.width + 2 * m, found.box.height + 2 * m};
  model_ = found.model;
  for (int& i : model_.pixels) {
    const int x = i % sampleWidth - area_.left, y = i / sampleWidth - area_.top;
    i = y * area_.width + x;
  }
  threshold_ = 0.5 * found.presentScore;
}

double LogoPresence::Score(const LumaPlane& luma) const {
  if (model_.pixels.empty() || luma.width != area_.width || luma.height != area_.height) return 1;
  HighPass(luma, integral_, hp_);
  return Match(luma, hp_, model_);
}

bool LogoPresence::Shows(const LumaPlane& luma) const {
  if (model_.pixels.empty()) return true;
  if (luma.width != area_.width || luma.height != area_.height) return true;
  return Score(luma) >= threshold_;
}

}  // namespace vle::analysis
