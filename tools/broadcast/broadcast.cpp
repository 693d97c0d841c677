#include "broadcast.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
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

Paint LogoAt(LogoStyle style, int s, int t, int glassAlpha) {
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
    case LogoStyle::kGlass:
      return part ? Paint{static_cast<uint8_t>(glassAlpha), 255, 255, 255} : Paint{0, 0, 0, 0};
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

// ---- Overlays: opaque boxes of text-like blocks and seven-segment digits ----

struct Color {
  uint8_t r, g, b;
};

bool Inside(const PixelBox& b, int x, int y) {
  return x >= b.left && x < b.left + b.width && y >= b.top && y < b.top + b.height;
}

bool Overlaps(const PixelBox& a, const PixelBox& b) {
  return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.left < b.left + b.width &&
         b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
}

// A picture being drawn on: top-down R, G, B rows of `width` pixels.
struct Canvas {
  uint8_t* rgb;
  int width, height;

  void Put(int x, int y, Color c) const {
    uint8_t* p = rgb + 3 * (size_t(y) * size_t(width) + size_t(x));
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
  }
  void Fill(const PixelBox& b, Color c) const {
    for (int y = std::max(0, b.top); y < std::min(height, b.top + b.height); ++y) {
      for (int x = std::max(0, b.left); x < std::min(width, b.left + b.width); ++x) Put(x, y, c);
    }
  }
  // Pixels of `cell` (clipped to `clip`) for which lit(x, y) in the cell's own coordinates, in `ink`.
  template <typename Lit>
  void Draw(const PixelBox& cell, const PixelBox& clip, Color ink, Lit lit) const {
    for (int y = std::max(cell.top, 0); y < std::min(cell.top + cell.height, height); ++y) {
      for (int x = std::max(cell.left, 0); x < std::min(cell.left + cell.width, width); ++x) {
        if (Inside(clip, x, y) && lit(x - cell.left, y - cell.top)) Put(x, y, ink);
      }
    }
  }
};

// One letter-like glyph: 3 x 5 blocks, most of them lit, chosen by `bits`.
bool GlyphLit(uint32_t bits, int x, int y, int w, int h) {
  const int gx = x * 3 / w, gy = y * 5 / h;
  return (((bits | bits >> 15) >> (gy * 3 + gx)) & 1) != 0;
}

// Letter width and the gap after a letter, for letters `height` tall.
int LetterWidth(int height) { return std::max(1, height * 3 / 5); }
int LetterGap(int height) { return std::max(1, LetterWidth(height) / 3); }

// Text-like blocks along `line`, clipped to it. letters > 0: one word of that many letters from the
// line's left. Otherwise words of 2..8 letters, a letter's width apart, as many as end before
// `fill` / 1000 of the line's width. `seed` chooses the glyphs and word lengths.
void DrawText(const Canvas& canvas, const PixelBox& line, uint32_t seed, int letters, int fill, Color ink) {
  if (line.width <= 0 || line.height <= 0) return;
  const int lw = LetterWidth(line.height), gap = LetterGap(line.height);
  const int end = line.left + int(int64_t(line.width) * fill / 1000);
  int x = line.left;
  uint32_t glyph = 0;
  for (uint32_t word = 0;; ++word) {
    const int count = letters > 0 ? letters : 2 + int(Hash(seed, 0x7E00 + word) % 7);
    if (letters <= 0 && x + count * (lw + gap) - gap > end) return;
    for (int l = 0; l < count; ++l, ++glyph) {
      const uint32_t bits = Hash(seed, glyph);
      canvas.Draw(PixelBox{x, line.top, lw, line.height}, line, ink,
                  [&](int gx, int gy) { return GlyphLit(bits, gx, gy, lw, line.height); });
      x += lw + gap;
    }
    if (letters > 0) return;
    x += lw;
  }
}

// Seven segments: a (top), b, c (right, upper and lower), d (bottom), e, f (left, lower and upper),
// g (middle), as bits 0..6.
bool SegmentLit(int digit, int x, int y, int w, int h) {
  static constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
  const int m = kSegments[digit % 10];
  const int t = std::max(1, std::min(w, h) / 5), mid = (h - t) / 2;
  const bool upper = y < h / 2, left = x < t, right = x >= w - t;
  return ((m & 1) && y < t) || ((m & 2) && right && upper) || ((m & 4) && right && !upper) ||
         ((m & 8) && y >= h - t) || ((m & 16) && left && !upper) || ((m & 32) && left && upper) ||
         ((m & 64) && y >= mid && y < mid + t);
}

void DrawDigit(const Canvas& canvas, const PixelBox& cell, int digit, Color ink) {
  canvas.Draw(cell, cell, ink, [&](int x, int y) { return SegmentLit(digit, x, y, cell.width, cell.height); });
}

// The part from / 1000 .. to / 1000 of `box`'s width, `pad` inside its top and bottom.
PixelBox Part(const PixelBox& box, int from, int to, int pad) {
  const int left = box.left + box.width * from / 1000;
  return PixelBox{left, box.top + pad, box.left + box.width * to / 1000 - left, std::max(1, box.height - 2 * pad)};
}

constexpr int kClockFrom = 700;  // the clock's part of the scoreboard, in 1/1000 of its width

PixelBox ClockOf(const PixelBox& board) {
  const int left = board.left + board.width * kClockFrom / 1000;
  return PixelBox{left, board.top, board.left + board.width - left, board.height};
}

void DrawScoreboard(const Canvas& canvas, const PixelBox& board, int64_t n) {
  canvas.Fill(board, Color{18, 28, 70});
  const int pad = std::max(1, board.height / 5);
  const Color white{245, 245, 245}, yellow{255, 210, 0};
  canvas.Fill(Part(board, 15, 45, pad), Color{220, 30, 40});
  DrawText(canvas, Part(board, 65, 265, pad), 0x7EA1, 3, 1000, white);
  DrawDigit(canvas, Part(board, 290, 335, pad), 2, yellow);
  DrawDigit(canvas, Part(board, 370, 415, pad), 1, yellow);
  canvas.Fill(Part(board, 440, 470, pad), Color{40, 120, 230});
  DrawText(canvas, Part(board, 490, 690, pad), 0x7EA2, 3, 1000, white);
  // The clock: minutes and seconds of the match, from 20:07 on, a second every 25 frames.
  const PixelBox clock = ClockOf(board);
  canvas.Fill(clock, Color{6, 6, 10});
  const int64_t seconds = 20 * 60 + 7 + std::max<int64_t>(0, n) / SyntheticBroadcast::kFramesPerSecond;
  const int minutes = int(seconds / 60 % 100), secs = int(seconds % 60);
  const int digits[4] = {minutes / 10, minutes % 10, secs / 10, secs % 10};
  const int inner = clock.left + clock.width / 12, span = clock.width * 10 / 12;
  const int gap = std::max(1, span / 45), top = board.top + pad, height = std::max(1, board.height - 2 * pad);
  const int cells[4] = {0, 2, 5, 7};  // in ninths of the span; the colon takes the fifth
  for (int i = 0; i < 4; ++i) {
    const int left = inner + span * cells[i] / 9;
    DrawDigit(canvas, PixelBox{left, top, inner + span * (cells[i] + 2) / 9 - left - gap, height}, digits[i], white);
  }
  const int dot = std::max(1, std::min(span / 18, height / 5)), colon = inner + span * 4 / 9 + (span / 9 - dot) / 2;
  canvas.Fill(PixelBox{colon, top + height / 3 - dot / 2, dot, dot}, white);
  canvas.Fill(PixelBox{colon, top + 2 * height / 3 - dot / 2, dot, dot}, white);
}

void DrawCaption(const Canvas& canvas, const PixelBox& strip, int64_t appearance) {
  canvas.Fill(strip, Color{240, 240, 236});
  canvas.Fill(PixelBox{strip.left, strip.top, std::max(1, strip.width * 6 / 100), strip.height}, Color{200, 20, 30});
  const uint32_t a = static_cast<uint32_t>(appearance);
  const int left = strip.left + strip.width * 9 / 100, width = strip.left + strip.width * 97 / 100 - left;
  const Color ink{20, 20, 40};
  const PixelBox name{left, strip.top + strip.height * 2 / 16, width, std::max(1, strip.height * 6 / 16)};
  const PixelBox title{left, strip.top + strip.height * 10 / 16, width, std::max(1, strip.height * 4 / 16)};
  DrawText(canvas, name, Hash(a, 0xCA1), 0, 550 + int(Hash(a, 0xCA3) % 400), ink);
  DrawText(canvas, title, Hash(a, 0xCA2), 0, 400 + int(Hash(a, 0xCA4) % 550), ink);
}

void DrawBadge(const Canvas& canvas, const PixelBox& badge) {
  canvas.Fill(badge, Color{210, 16, 24});
  const int pad = std::max(1, badge.height / 5), height = std::max(1, badge.height - 2 * pad);
  const int text = 4 * LetterWidth(height) + 3 * LetterGap(height);
  const int left = badge.left + std::max(pad, (badge.width - text) / 2);
  const PixelBox line{left, badge.top + pad, badge.left + badge.width - pad - left, height};
  DrawText(canvas, line, 0x11BE, 4, 1000, Color{255, 255, 255});
}

// ---- Studio shots ----

constexpr uint8_t kWalls[8][3] = {{70, 90, 150},  {160, 130, 185}, {40, 40, 50},   {185, 155, 115},
                                  {30, 105, 115}, {140, 50, 55},   {200, 200, 205}, {60, 115, 65}};
constexpr uint8_t kDesks[5][3] = {{90, 60, 40}, {220, 220, 225}, {30, 30, 36}, {150, 30, 40}, {60, 80, 130}};
// Two screens per layout, [left, top, right, bottom] in 1/1000 of the active picture; some stand in
// the corners, behind where a logo goes.
constexpr int kScreens[3][2][4] = {{{60, 70, 380, 400}, {640, 120, 930, 340}},
                                   {{220, 40, 780, 260}, {810, 60, 960, 640}},
                                   {{15, 20, 300, 290}, {700, 25, 985, 290}}};

Color Vivid(uint32_t h) {
  return Color{static_cast<uint8_t>(40 + (h & 0xFF) * 215 / 255),
               static_cast<uint8_t>(40 + (h >> 8 & 0xFF) * 215 / 255),
               static_cast<uint8_t>(40 + (h >> 16 & 0xFF) * 215 / 255)};
}

// A screen's content at (x, y) of a w x h screen: diagonal stripes, a wall of tiles, or concentric
// squares.
Color ScreenAt(uint32_t look, int kind, int x, int y, int w, int h) {
  const Color a = Vivid(Hash(look, 1)), b = Vivid(Hash(look, 2));
  switch (kind) {
    case 0:
      return ((x + y) / std::max(2, w / 12)) & 1 ? a : b;
    case 1: {
      const int tx = x * 4 / std::max(1, w), ty = y * 3 / std::max(1, h);
      if (x * 4 % std::max(1, w) < 4 || y * 3 % std::max(1, h) < 3) return Color{10, 10, 12};
      return Vivid(Hash(look, 16 + uint32_t(ty * 4 + tx)));
    }
    default: {
      const int d = std::max(std::abs(2 * x - w), std::abs(2 * y - h));
      return (d / std::max(2, std::min(w, h) / 5)) & 1 ? a : b;
    }
  }
}

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
  if (scene.shotFrames < 0) throw std::invalid_argument("shotFrames is negative");
  if (scene.glassAlpha < 1 || scene.glassAlpha > 255) throw std::invalid_argument("glassAlpha is not 1..255");
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
  placedBox_ = PixelBox{placed.left, placed.top, placed.width, placed.height};
  if (scene.greyBox) {
    // Diagonally opposite; for a logo along an edge, the opposite edge's left corner.
    const bool greyRight = centre ? false : !right;
    const bool greyBottom = !bottom;
    greyBox_ = PixelBox{activeX + (greyRight ? mirroredLeft : box.left),
                        activeY + (greyBottom ? mirroredTop : box.top), box.width, box.height};
  }

  // The overlays, each in the first of its places clear of the logo's box and of what is placed
  // before it; the same margins as the logo's.
  const int marginX = activeW * 40 / 1000, marginY = activeH * 40 / 1000;
  auto first = [&](std::initializer_list<PixelBox> candidates, std::initializer_list<PixelBox> taken,
                   const char* what) {
    for (const PixelBox& c : candidates) {
      bool clear = !Overlaps(c, placedBox_);
      for (const PixelBox& t : taken) clear = clear && !Overlaps(c, t);
      if (clear) return c;
    }
    throw std::invalid_argument(std::string("no place for the ") + what + " clear of the logo");
  };
  if (scene.scoreboard) {
    const int w = std::max(8, activeW * 270 / 1000), h = std::max(5, activeH * 60 / 1000);
    scoreboardBox_ = first({PixelBox{activeX + marginX, activeY + marginY, w, h},
                            PixelBox{activeX + activeW - marginX - w, activeY + marginY, w, h}},
                           {greyBox_}, "scoreboard");
    clockBox_ = ClockOf(scoreboardBox_);
  }
  if (scene.captions) {
    const int left = activeX + activeW * 100 / 1000, w = activeX + activeW * 900 / 1000 - left;
    auto strip = [&](int from, int to) {
      const int top = activeY + activeH * from / 1000;
      return PixelBox{left, top, w, std::max(1, activeY + activeH * to / 1000 - top)};
    };
    captionBox_ = first({strip(780, 880), strip(680, 780)}, {scoreboardBox_}, "captions");
  }
  if (scene.liveBadge) {
    const int w = std::max(6, activeW * 90 / 1000), h = std::max(4, activeH * 50 / 1000);
    auto corner = [&](bool r, bool b) {
      return PixelBox{r ? activeX + activeW - marginX - w : activeX + marginX,
                      b ? activeY + activeH - marginY - h : activeY + marginY, w, h};
    };
    // Across from the logo first: the other side and the other edge.
    const bool otherSide = centre || !right, otherEdge = !bottom;
    badgeBox_ = first({corner(otherSide, otherEdge), corner(!otherSide, otherEdge), corner(otherSide, !otherEdge),
                       corner(!otherSide, !otherEdge)},
                      {greyBox_, scoreboardBox_, captionBox_}, "live badge");
  }
  if (scene.shotFrames > 0) {
    moverBox_ = PixelBox{activeX + activeW * 30 / 100, activeY + activeH * 30 / 100, activeW * 40 / 100,
                         activeH * 38 / 100};
  }
  // Damage takes whole macroblock rows of the lower half, above the logo when the logo is there.
  damageRowLo_ = (height / 2 + 15) / 16;
  damageRowHi_ = height / 16;
  if (placedBox_.top + placedBox_.height > damageRowLo_ * 16) {
    damageRowHi_ = std::min(damageRowHi_, placedBox_.top / 16);
  }

  if (!scene.logo) return;
  box = placed;
  int minX = width, minY = height, maxX = -1, maxY = -1;
  for (int y = box.top; y < std::min(height, box.top + box.height); ++y) {
    // Pixel centres in 1/1024 of the box.
    const int t = (2 * (y - box.top) + 1) * 512 / box.height;
    for (int x = box.left; x < std::min(width, box.left + box.width); ++x) {
      const int s = (2 * (x - box.left) + 1) * 512 / box.width;
      const Paint p = LogoAt(scene.style, s, t, scene.glassAlpha);
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

bool SyntheticBroadcast::InBreak(int64_t n) const {
  for (const FrameRange& r : scene_.breaks) {
    if (n >= r.begin && n < r.end) return true;
  }
  return false;
}

bool SyntheticBroadcast::LogoShown(int64_t n) const { return scene_.logo && !InBreak(n); }

bool SyntheticBroadcast::ScoreboardShown(int64_t n) const { return scene_.scoreboard && !InBreak(n); }

bool SyntheticBroadcast::CaptionShown(int64_t n) const {
  if (!scene_.captions || n < 0 || InBreak(n)) return false;
  const int64_t phase = n % kCaptionPeriod;
  return phase >= kCaptionFirst && phase < kCaptionLast;
}

bool SyntheticBroadcast::LiveBadgeShown(int64_t n) const {
  return scene_.liveBadge && n >= scene_.liveBadgeFrom && !InBreak(n);
}

int64_t SyntheticBroadcast::Shot(int64_t n) const {
  return scene_.shotFrames > 0 && n > 0 ? n / scene_.shotFrames : 0;
}

Damage SyntheticBroadcast::DamageAt(int64_t n) const {
  const int rows = damageRowHi_ - damageRowLo_, cols = width_ / 16;
  if (!scene_.damage || n < 0 || rows < 1 || cols < 1) return Damage{};
  // Three runs in every period, each within its own third and starting after its first frame, so
  // that runs never touch and the frame before each is undamaged.
  const int64_t period = n / kDamagePeriod, third = kDamagePeriod / 3;
  for (uint32_t j = 0; j < 3; ++j) {
    const uint32_t when = Hash(uint32_t(period), 0xDA0 + j);
    const int64_t begin = period * kDamagePeriod + j * third + 1 + when % uint32_t(third - 21);
    const int64_t end = begin + 5 + (when >> 8) % 16;
    if (n < begin || n >= end) continue;
    const uint32_t where = Hash(uint32_t(period), 0xDB0 + j);
    const int bandRows = 1 + int(where % uint32_t(std::min(4, rows)));
    const int row = damageRowLo_ + int((where >> 4) % uint32_t(rows - bandRows + 1));
    const int least = std::max(1, cols / 4);
    const int bandCols = least + int((where >> 12) % uint32_t(cols - least + 1));
    const int col = int((where >> 20) % uint32_t(cols - bandCols + 1));
    Damage d;
    d.kind = static_cast<DamageKind>(1 + (where >> 28) % 3);
    d.box = PixelBox{16 * col, 16 * row, 16 * bandCols, 16 * bandRows};
    d.source = begin - 1;
    return d;
  }
  return Damage{};
}

std::vector<uint8_t> SyntheticBroadcast::OpaqueMask() const {
  std::vector<uint8_t> mask(logoAlpha_.size());
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = logoAlpha_[i] == 255 ? 1 : 0;
  return mask;
}

void SyntheticBroadcast::RenderRgb(int64_t n, uint8_t* rgb) const {
  if (scene_.shotFrames > 0) {
    StudioRgb(n, rgb);
  } else {
    MovingRgb(n, rgb);
  }
  OverlayRgb(n, rgb);
  const Damage d = DamageAt(n);
  if (d.kind == DamageKind::kNone) return;
  std::vector<uint8_t> source;
  if (d.kind != DamageKind::kSmear) {
    source.resize(3 * size_t(width_) * size_t(height_));
    RenderRgb(d.source, source.data());  // undamaged: runs never follow each other directly
  }
  DamageRgb(n, rgb, source.data());
}

void SyntheticBroadcast::MovingRgb(int64_t n, uint8_t* rgb) const {
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
      uint8_t* p = row + 3 * size_t(x);
      p[0] = Clamp(r), p[1] = Clamp(g), p[2] = Clamp(b);
    }
  }
}

void SyntheticBroadcast::StudioRgb(int64_t n, uint8_t* rgb) const {
  const int w = width_, h = height_;
  const int ax = scene_.pillarbox, ay = scene_.letterbox, aw = w - 2 * ax, ah = h - 2 * ay;
  const int64_t shot = Shot(n);
  const int32_t t = static_cast<int32_t>(n - shot * scene_.shotFrames);
  const uint32_t k = static_cast<uint32_t>(shot), look = Hash(k, 0x57D1), look2 = Hash(k, 0x57D2);
  // Consecutive shots differ in layout and in wall and desk colours.
  const int layout = int(shot % 3);
  const uint8_t* wall = kWalls[(shot * 3) % 8];
  const uint8_t* desk = kDesks[(shot * 2 + 1) % 5];
  const int panelW = std::max(4, aw / (4 + int(look % 5))), seam = std::max(1, aw / 320);
  const int mouldTop = ah * (260 + 50 * layout + int(look >> 4 & 31)) / 1000, mouldH = std::max(2, ah / 90);
  const int deskTop = ah * (700 + 40 * layout + int(look >> 10 & 31)) / 1000, deskEdge = std::max(2, ah / 70);
  const int grainW = std::max(2, aw / 24);
  PixelBox screens[2];
  for (int i = 0; i < 2; ++i) {
    const int* f = kScreens[layout][i];
    const int shift = int(look2 >> (8 * i) & 31) - 15;  // a few thousandths either way
    const int left = aw * std::clamp(f[0] + shift, 0, 1000) / 1000;
    const int right = aw * std::clamp(f[2] + shift, 0, 1000) / 1000;
    screens[i] = PixelBox{left, ah * f[1] / 1000, right - left, ah * f[3] / 1000 - ah * f[1] / 1000};
  }
  const int frameW = std::max(2, aw / 240);
  // The person: a head and a torso with a tie, swaying across the mover's box and bobbing a little.
  const PixelBox& mover = moverBox_;
  const int headR = std::max(2, mover.height / 7), halfBody = headR * 3 / 2;
  const int sway = std::max(0, mover.width / 2 - halfBody - 1);
  const int headX = mover.left + mover.width / 2 + sway * Wave(t * 6 + int32_t(look & 1023)) / 512;
  const int headY = mover.top + headR + headR / 3 + (headR / 3) * Wave(t * 17) / 512;
  const Color shirt = Vivid(Hash(k, 0x9E0)), tie = Vivid(Hash(k, 0x9E1));

  for (int y = 0; y < h; ++y) {
    uint8_t* row = rgb + 3 * size_t(y) * size_t(w);
    const int py = y - ay;
    for (int x = 0; x < w; ++x) {
      uint8_t* p = row + 3 * size_t(x);
      const int px = x - ax;
      if (px < 0 || px >= aw || py < 0 || py >= ah) {
        p[0] = p[1] = p[2] = 0;  // under the bars
        continue;
      }
      int32_t r, g, b;
      if (py >= deskTop) {
        if (py < deskTop + deskEdge) {
          r = 235, g = 230, b = 215;
        } else {
          const int32_t dark = px % grainW < std::max(1, grainW / 8) ? 45 : 0;
          r = desk[0] - dark, g = desk[1] - dark, b = desk[2] - dark;
        }
      } else {
        const int pos = px % panelW;
        if (pos < seam) {
          r = wall[0] / 3, g = wall[1] / 3, b = wall[2] / 3;
        } else {
          const int32_t shade = pos * 36 / panelW - 18;
          r = wall[0] + shade, g = wall[1] + shade, b = wall[2] + shade;
        }
        if (py >= mouldTop && py < mouldTop + mouldH) r += 70, g += 70, b += 70;
        for (int i = 0; i < 2; ++i) {
          const PixelBox& s = screens[i];
          if (!Inside(s, px, py)) continue;
          const int sx = px - s.left, sy = py - s.top;
          if (sx < frameW || sy < frameW || sx >= s.width - frameW || sy >= s.height - frameW) {
            r = 14, g = 14, b = 18;
          } else {
            const Color c = ScreenAt(look2 + uint32_t(i), int(look2 >> (20 + 2 * i)) % 3, sx, sy, s.width, s.height);
            r = c.r, g = c.g, b = c.b;
          }
        }
      }
      if (Inside(mover, x, y)) {
        const int64_t dx = x - headX, dy = y - headY;
        if (dx * dx + dy * dy <= int64_t(headR) * headR) {
          r = 225, g = 175, b = 145;
        } else if (y >= headY + headR && x >= headX - halfBody && x < headX + halfBody) {
          const bool onTie = x >= headX - headR / 5 - 1 && x <= headX + headR / 5 && y < headY + 3 * headR;
          const Color c = onTie ? tie : shirt;
          r = c.r, g = c.g, b = c.b;
        }
      }
      // Static grain: the same in every frame of the shot.
      const int32_t grain = int32_t(Hash(uint32_t(px) + 7919u * k, uint32_t(py) ^ (k * 31u)) & 15) - 8;
      p[0] = Clamp(r + grain), p[1] = Clamp(g + grain), p[2] = Clamp(b + grain);
    }
  }
}

void SyntheticBroadcast::OverlayRgb(int64_t n, uint8_t* rgb) const {
  const int w = width_, h = height_;
  const Canvas canvas{rgb, w, h};
  const int barX = scene_.pillarbox, barY = scene_.letterbox;
  if (barX > 0 || barY > 0) {
    const Color black{0, 0, 0};
    canvas.Fill(PixelBox{0, 0, w, barY}, black);
    canvas.Fill(PixelBox{0, h - barY, w, barY}, black);
    canvas.Fill(PixelBox{0, barY, barX, h - 2 * barY}, black);
    canvas.Fill(PixelBox{w - barX, barY, barX, h - 2 * barY}, black);
  }
  canvas.Fill(greyBox_, Color{128, 128, 128});
  if (ScoreboardShown(n)) DrawScoreboard(canvas, scoreboardBox_, n);
  if (CaptionShown(n)) DrawCaption(canvas, captionBox_, n / kCaptionPeriod);
  if (LiveBadgeShown(n)) DrawBadge(canvas, badgeBox_);
  if (!LogoShown(n)) return;
  const PixelBox& box = logoBox_;
  for (int y = box.top; y < box.top + box.height; ++y) {
    for (int x = box.left; x < box.left + box.width; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const int32_t a = logoAlpha_[i];
      if (a == 0) continue;
      const uint8_t* c = &logoRgb_[3 * i];
      uint8_t* p = rgb + 3 * i;
      for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>((a * c[k] + (255 - a) * p[k] + 127) / 255);
    }
  }
}

void SyntheticBroadcast::DamageRgb(int64_t n, uint8_t* rgb, const uint8_t* source) const {
  const Damage d = DamageAt(n);
  if (d.kind == DamageKind::kNone) return;
  const size_t stride = 3 * size_t(width_), offset = 3 * size_t(d.box.left), span = 3 * size_t(d.box.width);
  const uint8_t* top = (d.kind == DamageKind::kSmear ? rgb : source) + size_t(d.box.top) * stride + offset;
  for (int y = d.box.top; y < d.box.top + d.box.height; ++y) {
    uint8_t* row = rgb + size_t(y) * stride + offset;
    const uint8_t* from = d.kind == DamageKind::kFreeze ? source + size_t(y) * stride + offset : top;
    if (from != row) std::memcpy(row, from, span);
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
