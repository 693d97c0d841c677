#include "broadcast.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vle::broadcast {
namespace {

// Sizes beyond this are no broadcast; it also keeps every product below in 32 bits.
constexpr int kMaxSide = 16384;

// One period of a smooth wave over phases 0..1023, values -512..512: two parabolic half-waves,
// close enough to a sine for a picture and exact in integers.
int32_t Wave(int32_t phase) {
  const int32_t p = phase & 1023;
  const int32_t half = p & 511;
  const int32_t v = (half * (512 - half)) >> 7;
  return p < 512 ? v : -v;
}

uint32_t Hash(uint32_t x, uint32_t y) {
  uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

int32_t FloorDiv(int32_t a, int32_t b) {
  const int32_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The plug-in's own full-range BT.601 weights, so that its luma of a steady pixel is steady too.
int32_t LumaOf(int32_t r, int32_t g, int32_t b) { return (3735 * b + 19235 * g + 9798 * r) >> 15; }
int32_t CbOf(int32_t r, int32_t g, int32_t b) {
  return FloorDiv(16384 * b - 10855 * g - 5529 * r, 32768) + 128;
}
int32_t CrOf(int32_t r, int32_t g, int32_t b) {
  return FloorDiv(-2664 * b - 13720 * g + 16384 * r, 32768) + 128;
}

// ---- The logo, in its box's own coordinates 0..1023 across and down ----

struct Box {
  int left, top, width, height;
};

// Box 4 % .. 20 % across and 4 % .. 19 % down: inside the default region with room on every side.
Box BoxFor(int w, int h) {
  const int left = w * 40 / 1000, top = h * 40 / 1000;
  return Box{left, top, std::max(1, w * 200 / 1000 - left), std::max(1, h * 190 / 1000 - top)};
}

struct Paint {
  uint8_t alpha;
  uint8_t r, g, b;
};

bool WithinSegment(int64_t px, int64_t py, int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t radius) {
  const int64_t dx = bx - ax, dy = by - ay, wx = px - ax, wy = py - ay;
  const int64_t dot = wx * dx + wy * dy, len2 = dx * dx + dy * dy;
  if (dot <= 0) return wx * wx + wy * wy <= radius * radius;
  if (dot >= len2) return (px - bx) * (px - bx) + (py - by) * (py - by) <= radius * radius;
  const int64_t cross = wx * dy - wy * dx;
  return cross * cross <= radius * radius * len2;
}

// The three opaque parts of the plate logo, or none; `part` gets their colour.
bool LogoPart(int s, int t, Paint* part) {
  const int64_t rx = s - 300, ry = t - 430, d2 = rx * rx + ry * ry;
  if (d2 <= 270 * 270 && d2 >= 160 * 160) {
    *part = Paint{255, 250, 196, 30};  // gold ring
  } else if (WithinSegment(s, t, 600, 130, 770, 690, 75) || WithinSegment(s, t, 940, 130, 770, 690, 75)) {
    *part = Paint{255, 246, 246, 246};  // white V
  } else if (s >= 90 && s < 934 && t >= 800 && t < 930) {
    *part = Paint{255, 226, 32, 44};  // red bar
  } else {
    return false;
  }
  return true;
}

Paint LogoAt(LogoStyle style, int s, int t) {
  Paint p{0, 0, 0, 0};
  const bool part = LogoPart(s, t, &p);
  switch (style) {
    case LogoStyle::kPlate: {
      // Opaque parts first: they cover the plate. Then the translucent plate with rounded corners.
      if (part) return p;
      const int cx = std::clamp(s, 150, 873), cy = std::clamp(t, 150, 873);
      const int64_t ex = s - cx, ey = t - cy;
      if (ex * ex + ey * ey <= 150 * 150) return Paint{120, 20, 40, 120};
      return Paint{0, 0, 0, 0};
    }
    case LogoStyle::kOpaque:
      return part ? p : Paint{0, 0, 0, 0};
    case LogoStyle::kWhiteHalf:
      return part ? Paint{128, 255, 255, 255} : Paint{0, 0, 0, 0};
    case LogoStyle::kGradient:
      return part ? Paint{static_cast<uint8_t>(51 + 179 * std::clamp(s, 0, 1023) / 1023), 40, 200, 255}
                  : Paint{0, 0, 0, 0};
  }
  return Paint{0, 0, 0, 0};
}

Scene SceneOfSize(int width, int height, Layout layout) {
  Scene scene;
  scene.width = width;
  scene.height = height;
  scene.layout = layout;
  return scene;
}

int32_t FloorDiv4096(int32_t v) { return v >= 0 ? v / 4096 : -((-v + 4095) / 4096); }

}  // namespace

size_t FrameBytes(int width, int height, Layout layout) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return 0;
  if (layout == Layout::kYuy2 && width % 2 != 0) return 0;
  return size_t(width) * size_t(height) * (layout == Layout::kYuy2 ? 2 : 3);
}

std::vector<uint8_t> FrameToRgb(const uint8_t* frame, int width, int height, Layout layout) {
  std::vector<uint8_t> rgb(3 * size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y) {
    uint8_t* out = rgb.data() + 3 * size_t(y) * size_t(width);
    if (layout == Layout::kBgr24) {
      const uint8_t* in = frame + 3 * size_t(height - 1 - y) * size_t(width);
      for (int x = 0; x < width; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
      continue;
    }
    const uint8_t* in = frame + 2 * size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      const uint8_t* pair = in + 4 * (x / 2);
      const int32_t luma = in[2 * x];
      const int32_t u = pair[1] - 128, v = pair[3] - 128;
      out[3 * x] = Clamp(luma + FloorDiv4096(5743 * v));
      out[3 * x + 1] = Clamp(luma + FloorDiv4096(-1410 * u) + FloorDiv4096(-2925 * v));
      out[3 * x + 2] = Clamp(luma + FloorDiv4096(7258 * u));
    }
  }
  return rgb;
}

SyntheticBroadcast::SyntheticBroadcast(int width, int height, Layout layout)
    : SyntheticBroadcast(SceneOfSize(width, height, layout)) {}

SyntheticBroadcast::SyntheticBroadcast(const Scene& scene)
    : scene_(scene),
      width_(scene.width),
      height_(scene.height),
      layout_(scene.layout),
      frameBytes_(FrameBytes(scene.width, scene.height, scene.layout)) {
  const int width = width_, height = height_;
  if (frameBytes_ == 0) {
    throw std::invalid_argument("no broadcast of " + std::to_string(width) + "x" + std::to_string(height) +
                                (layout_ == Layout::kYuy2 ? " in yuy2" : " in bgr24"));
  }
  if (scene.letterbox < 0 || scene.pillarbox < 0 || 4 * (height - 2 * scene.letterbox) < height ||
      4 * (width - 2 * scene.pillarbox) < width) {
    throw std::invalid_argument("bars leave too little picture");
  }
  // Phase steps per column and row of the three waves (luma, red and blue difference): 1.5, 0.7
  // and 0.9 periods across, 0.8, 1.1 and 0.6 down, running in different directions.
  const int32_t across[3] = {1536, 700, -900}, down[3] = {820, -1100, 600};
  for (int k = 0; k < 3; ++k) {
    columnPhase_[k].resize(size_t(width));
    rowPhase_[k].resize(size_t(height));
    for (int x = 0; x < width; ++x) columnPhase_[k][size_t(x)] = across[k] * x / width;
    for (int y = 0; y < height; ++y) rowPhase_[k][size_t(y)] = down[k] * y / height;
  }
  logoAlpha_.assign(size_t(width) * size_t(height), 0);
  logoRgb_.assign(3 * size_t(width) * size_t(height), 0);

  // The logo's box in the active picture, mirrored for the other corners.
  const int activeX = scene.pillarbox, activeY = scene.letterbox;
  const int activeW = width - 2 * activeX, activeH = height - 2 * activeY;
  Box box = BoxFor(activeW, activeH);
  const bool right = scene.place == LogoPlace::kTopRight || scene.place == LogoPlace::kBottomRight;
  const bool bottom = scene.place == LogoPlace::kBottomLeft || scene.place == LogoPlace::kBottomRight ||
                      scene.place == LogoPlace::kBottomCentre;
  const bool centre = scene.place == LogoPlace::kTopCentre || scene.place == LogoPlace::kBottomCentre;
  const int mirroredLeft = activeW - box.left - box.width, mirroredTop = activeH - box.top - box.height;
  const Box placed{activeX + (centre ? (activeW - box.width) / 2 : right ? mirroredLeft : box.left),
                       activeY + (bottom ? mirroredTop : box.top), box.width, box.height};
  if (scene.greyBox) {
    // Diagonally opposite; for a logo along an edge, the opposite edge's left corner.
    const bool greyRight = centre ? false : !right;
    const bool greyBottom = !bottom;
    greyBox_ = PixelBox{activeX + (greyRight ? mirroredLeft : box.left),
                        activeY + (greyBottom ? mirroredTop : box.top), box.width, box.height};
  }
  if (!scene.logo) return;
  box = placed;
  int minX = width, minY = height, maxX = -1, maxY = -1;
  for (int y = box.top; y < std::min(height, box.top + box.height); ++y) {
    // Pixel centres in 1/1024 of the box.
    const int t = (2 * (y - box.top) + 1) * 512 / box.height;
    for (int x = box.left; x < std::min(width, box.left + box.width); ++x) {
      const int s = (2 * (x - box.left) + 1) * 512 / box.width;
      const Paint p = LogoAt(scene.style, s, t);
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      logoAlpha_[i] = p.alpha;
      logoRgb_[3 * i] = p.r;
      logoRgb_[3 * i + 1] = p.g;
      logoRgb_[3 * i + 2] = p.b;
      if (p.alpha != 0) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
    }
  }
  if (maxX >= 0) logoBox_ = PixelBox{minX, minY, maxX - minX + 1, maxY - minY + 1};
}

bool SyntheticBroadcast::LogoShown(int64_t n) const {
  if (!scene_.logo) return false;
  for (const FrameRange& r : scene_.breaks) {
    if (n >= r.begin && n < r.end) return false;
  }
  return true;
}

std::vector<uint8_t> SyntheticBroadcast::OpaqueMask() const {
  std::vector<uint8_t> mask(logoAlpha_.size());
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = logoAlpha_[i] == 255 ? 1 : 0;
  return mask;
}

void SyntheticBroadcast::RenderRgb(int64_t n, uint8_t* rgb) const {
  const int w = width_, h = height_;
  // Wrapped frame number: the waves repeat every 1024 frames, the shapes' paths sooner.
  const int32_t m = static_cast<int32_t>(((n % 1024) + 1024) % 1024);
  const uint32_t un = static_cast<uint32_t>(n);
  // A bright disc sliding right while bobbing, and a dark checked square drifting left and down.
  const int32_t radius = std::max(2, h / 6);
  const int32_t discX = (m * 6) % (w + 2 * radius) - radius;
  const int32_t discY = h / 2 + (h / 5) * Wave(m * 9) / 512;
  const int32_t side = std::max(2, h / 4);
  const int32_t squareX = w - (m * 4) % (w + side);
  const int32_t squareY = (m * 3) % (h + side) - side;
  const bool logo = LogoShown(n);
  const int barX = scene_.pillarbox, barY = scene_.letterbox;
  const PixelBox& grey = greyBox_;

  for (int y = 0; y < h; ++y) {
    uint8_t* row = rgb + 3 * size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x) {
      const int32_t luma =
          128 + 95 * Wave(columnPhase_[0][size_t(x)] + rowPhase_[0][size_t(y)] - 17 * m) / 512;
      const int32_t cr = 64 * Wave(columnPhase_[1][size_t(x)] + rowPhase_[1][size_t(y)] + 11 * m) / 512;
      const int32_t cb = 64 * Wave(columnPhase_[2][size_t(x)] + rowPhase_[2][size_t(y)] + 13 * m + 256) / 512;
      const int32_t noise = int32_t(Hash(uint32_t(x) + 3 * un, uint32_t(y) + 2 * un) & 31) - 16;
      const int32_t yy = luma + noise;
      int32_t r = yy + 1402 * cr / 1000;
      int32_t g = yy - (344 * cb + 714 * cr) / 1000;
      int32_t b = yy + 1772 * cb / 1000;
      const int64_t dx = x - discX, dy = y - discY;
      if (dx * dx + dy * dy <= int64_t(radius) * radius) {
        r = 250, g = 235, b = 190;
      } else if (x >= squareX && x < squareX + side && y >= squareY && y < squareY + side) {
        const bool dark = (((x - squareX) >> 3) ^ ((y - squareY) >> 3)) & 1;
        r = dark ? 20 : 90, g = dark ? 24 : 60, b = dark ? 60 : 150;
      }
      if (x < barX || x >= w - barX || y < barY || y >= h - barY) {
        r = g = b = 0;
      } else if (x >= grey.left && x < grey.left + grey.width && y >= grey.top && y < grey.top + grey.height) {
        r = g = b = 128;
      }
      uint8_t* p = row + 3 * size_t(x);
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const int32_t a = logo ? logoAlpha_[i] : 0;
      if (a == 0) {
        p[0] = Clamp(r), p[1] = Clamp(g), p[2] = Clamp(b);
      } else {
        const uint8_t* c = &logoRgb_[3 * i];
        p[0] = static_cast<uint8_t>((a * c[0] + (255 - a) * Clamp(r) + 127) / 255);
        p[1] = static_cast<uint8_t>((a * c[1] + (255 - a) * Clamp(g) + 127) / 255);
        p[2] = static_cast<uint8_t>((a * c[2] + (255 - a) * Clamp(b) + 127) / 255);
      }
    }
  }
}

void SyntheticBroadcast::Render(int64_t n, uint8_t* out) const {
  const int w = width_, h = height_;
  std::vector<uint8_t> rgb(3 * size_t(w) * size_t(h));
  RenderRgb(n, rgb.data());
  if (layout_ == Layout::kBgr24) {
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = rgb.data() + 3 * size_t(y) * size_t(w);
      uint8_t* dst = out + 3 * size_t(h - 1 - y) * size_t(w);  // bottom-up
      for (int x = 0; x < w; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    }
    return;
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = rgb.data() + 3 * size_t(y) * size_t(w);
    uint8_t* dst = out + 2 * size_t(y) * size_t(w);
    for (int x = 0; x < w; x += 2) {
      const uint8_t* a = src + 3 * x;
      const uint8_t* b = a + 3;
      dst[2 * x] = static_cast<uint8_t>(LumaOf(a[0], a[1], a[2]));
      dst[2 * x + 1] = static_cast<uint8_t>((CbOf(a[0], a[1], a[2]) + CbOf(b[0], b[1], b[2]) + 1) >> 1);
      dst[2 * x + 2] = static_cast<uint8_t>(LumaOf(b[0], b[1], b[2]));
      dst[2 * x + 3] = static_cast<uint8_t>((CrOf(a[0], a[1], a[2]) + CrOf(b[0], b[1], b[2]) + 1) >> 1);
    }
  }
}

}  // namespace vle::broadcast
