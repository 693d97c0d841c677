// Overlay drawing through the FrameAdapter: blends, colours, lines, rings and image blocks, checked
// byte by byte against the whole frame (with guard zones) at every CPU level the machine has.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "frame/frame_adapter.h"
#include "platform/cpu.h"
#include "support/cpu_levels.h"
#include "support/draw_guard.h"

namespace vle {
namespace {

using test::GuardedBytes;

// CPU levels to run at; levels the processor lacks collapse onto the level below.
const int kCpuLevels[] = {0, platform::kCpuSse2,
                          platform::kCpuSse2 | platform::kCpuSsse3 | platform::kCpuSse41, -1};

using test::CpuMaskScope;

// A host frame with its own addressing, written from the layout description rather than from the
// adapter: Yuy2 top-down pairs (Y0 Cb Y1 Cr), Bgr24 bottom-up.
struct TestFrame {
  TestFrame(int32_t w, int32_t h, int32_t fmt)
      : width(w), height(h), format(fmt), bytes(std::size_t(w) * h * (fmt == kBgr24 ? 3 : 2)) {
    adapter.SetFormat(w, h, fmt);
  }
  uint8_t* pixels() { return bytes.data(); }
  std::size_t PairBase(int32_t x, int32_t y) const { return 2 * (std::size_t(width) * y + (x & ~1)); }
  uint8_t Luma(int32_t x, int32_t y) const { return bytes.data()[PairBase(x, y) + (x & 1 ? 2 : 0)]; }
  uint8_t Cb(int32_t x, int32_t y) const { return bytes.data()[PairBase(x, y) + 1]; }
  uint8_t Cr(int32_t x, int32_t y) const { return bytes.data()[PairBase(x, y) + 3]; }
  uint8_t Bgr(int32_t x, int32_t y, int c) const {
    return bytes.data()[3 * (std::size_t(width) * (height - 1 - y) + x) + c];
  }

  FrameAdapter adapter;
  int32_t width, height, format;
  GuardedBytes bytes;
};

// ---------------------------------------------------------------------------------------------
// Blend rule, through whole rows so that SIMD bodies and scalar tails both see every case.

struct BlendCase {
  int d, s, alpha, opacity, expected;
};

class BlendTable : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendTable, AlphaAndOpacityWeighTheSourceWithFloorRounding) {
  const BlendCase& c = GetParam();
  const int32_t w = 70;
  for (int level : kCpuLevels) {
    CpuMaskScope mask(level);
    // Code 4 onto Bgr24: every channel blends alike.
    TestFrame bgr(w, 2, kBgr24);
    bgr.bytes.Fill(static_cast<uint8_t>(c.d));
    std::vector<uint32_t> bgra(w * 2, uint32_t(c.alpha) << 24 | uint32_t(c.s) * 0x010101u);
    bgr.adapter.DrawImage(bgr.pixels(), Point{0, 0}, bgra.data(), Size{w, 2}, Rect{0, 0, w, 2},
                          kBgrAlpha32, c.opacity);
    // Code 9 onto Yuy2 from an odd start: split pair, whole pairs and an odd tail.
    TestFrame yuy(w + 2, 2, kYuy2);
    yuy.bytes.Fill(static_cast<uint8_t>(c.d));
    std::vector<uint32_t> yuva(w * 2, uint32_t(c.s) * 0x01000101u | uint32_t(c.alpha) << 16);
    yuy.adapter.DrawImage(yuy.pixels(), Point{1, 0}, yuva.data(), Size{w, 2}, Rect{0, 0, w, 2},
                          kYuvAlpha32, c.opacity);
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(bgr.Bgr(x, y, ch), c.expected) << "level " << level;
        ASSERT_EQ(yuy.Luma(x + 1, y), c.expected) << "level " << level << " x " << x;
        if (((x + 1) & 1) == 0) {
          ASSERT_EQ(yuy.Cb(x + 1, y), c.expected) << "level " << level;
          ASSERT_EQ(yuy.Cr(x + 1, y), c.expected) << "level " << level;
        }
      }
      EXPECT_EQ(yuy.Luma(0, y), c.d);  // the split pair's first luma and chroma stay
      EXPECT_EQ(yuy.Cb(0, y), c.d);
      EXPECT_EQ(yuy.Luma(w + 1, y), c.d);  // the tail pair's second luma stays
    }
    EXPECT_TRUE(bgr.bytes.GuardsIntact());
    EXPECT_TRUE(yuy.bytes.GuardsIntact());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlendTable,
    ::testing::Values(BlendCase{100, 200, 255, 100, 200}, BlendCase{100, 200, 128, 100, 150},
                      BlendCase{100, 200, 127, 100, 149}, BlendCase{100, 200, 0, 100, 100},
                      BlendCase{200, 100, 128, 100, 149}, BlendCase{100, 200, 255, 50, 150},
                      // Floor, not truncation, for negative differences.
                      BlendCase{200, 100, 127, 100, 150}, BlendCase{255, 0, 255, 1, 253},
                      BlendCase{0, 255, 255, 1, 1}, BlendCase{0, 255, 255, 100, 255},
                      BlendCase{255, 0, 255, 100, 0}, BlendCase{37, 211, 255, 0, 37},
                      // Opacity outside 0..100 is held to the nearest bound.
                      BlendCase{100, 200, 255, 250, 200}, BlendCase{100, 200, 255, -40, 100},
                      BlendCase{100, 200, 255, INT_MAX, 200}, BlendCase{100, 200, 255, INT_MIN, 100}));

// ---------------------------------------------------------------------------------------------
// Image codes onto 4 x 1 frames, every byte written out by hand.

constexpr uint32_t Bgrx(int b, int g, int r, int x) {
  return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(x) << 24;
}
// White, red, blue and green: (Y Cb Cr) = (255 128 128), (76 84 255), (29 255 107), (149 43 21).
constexpr uint32_t kWhite = Bgrx(255, 255, 255, 0), kRed = Bgrx(0, 0, 255, 0);
constexpr uint32_t kBlue = Bgrx(255, 0, 0, 0), kGreen = Bgrx(0, 255, 0, 0);

struct CodeCase {
  const char* name;
  int32_t frameFormat;
  int32_t code;
  uint32_t pixels[4];
  int32_t x;      // frame point x
  int32_t count;  // image rect (0, 0, count, 1)
  int32_t opacity;
  std::vector<uint8_t> expected;  // the frame after drawing over bytes of 50
};

class CodeTable : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeTable, DrawsTheDescribedBytes) {
  const CodeCase& c = GetParam();
  TestFrame frame(4, 1, c.frameFormat);
  frame.bytes.Fill(50);
  frame.adapter.DrawImage(frame.pixels(), Point{c.x, 0}, c.pixels, Size{4, 1}, Rect{0, 0, c.count, 1},
                          c.code, c.opacity);
  EXPECT_EQ(frame.bytes.Bytes(), c.expected);
  EXPECT_TRUE(frame.bytes.GuardsIntact());
}

std::vector<uint8_t> Unchanged(int32_t frameFormat) {
  return std::vector<uint8_t>(frameFormat == kBgr24 ? 12 : 8, 50);
}

const CodeCase kCodeCases[] = {
    {"Bgr32OntoYuy2", kYuy2, kBgr32, {kWhite, kRed, kBlue, kGreen}, 0, 4, 100,
     {255, 128, 76, 128, 29, 255, 149, 107}},
    {"Bgr32IgnoresOpacity", kYuy2, kBgr32, {kWhite, kRed, kBlue, kGreen}, 0, 4, 0,
     {255, 128, 76, 128, 29, 255, 149, 107}},
    {"Bgr32OddCountLeavesTheLastSecondLuma", kYuy2, kBgr32, {kWhite, kRed, kBlue, kGreen}, 0, 3, 100,
     {255, 128, 76, 128, 29, 255, 50, 107}},
    {"Bgr32OddStartWritesOnlyTheSecondLuma", kYuy2, kBgr32, {kWhite, kRed, kBlue, kGreen}, 1, 3, 100,
     {50, 50, 255, 50, 76, 84, 29, 255}},
    {"BgrLuma32TakesLumaFromByte3", kYuy2, kBgrLuma32,
     {kWhite | 10u << 24, kRed | 20u << 24, kBlue | 30u << 24, kGreen | 40u << 24}, 0, 4, 37,
     {10, 128, 20, 128, 30, 255, 40, 107}},
    {"BgrAlpha32EvenAlphaGovernsChroma", kYuy2, kBgrAlpha32,
     {kWhite | 255u << 24, kRed, kBlue, kGreen | 255u << 24}, 0, 4, 100,
     {255, 128, 50, 128, 50, 50, 149, 50}},
    {"BgrAlpha32ZeroAlphaLeavesTheFrame", kYuy2, kBgrAlpha32, {kWhite, kRed, kBlue, kGreen}, 0, 4, 100,
     Unchanged(kYuy2)},
    {"YuvAlpha32BlendsByByte2", kYuy2, kYuvAlpha32,
     {0xC8FF0A14u, 0x00FFFF1Eu, 0x01000203u, 0x04FF0605u}, 0, 4, 100,
     {20, 10, 30, 200, 50, 50, 5, 50}},
    {"YuvLuma32PicksFirstAndSecondLumaBytes", kYuy2, kYuvLuma32,
     {0x04030201u, 0x08070605u, 0x0C0B0A09u, 0x100F0E0Du}, 0, 4, 0, {1, 2, 7, 4, 9, 10, 15, 12}},
    {"YuvLuma32SplitStartUsesByte2OfTheFirstPixel", kYuy2, kYuvLuma32,
     {0x04030201u, 0x08070605u, 0x0C0B0A09u, 0x100F0E0Du}, 1, 3, 100, {50, 50, 3, 50, 5, 6, 11, 8}},
    {"Bgr32OntoBgr24", kBgr24, kBgr32, {Bgrx(1, 2, 3, 4), Bgrx(5, 6, 7, 8), Bgrx(9, 10, 11, 12),
                                        Bgrx(13, 14, 15, 16)}, 0, 4, 0,
     {1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15}},
    {"BgrLuma32OntoBgr24IgnoresLuma", kBgr24, kBgrLuma32, {Bgrx(1, 2, 3, 4), Bgrx(5, 6, 7, 8), 0, 0}, 1,
     2, 100, {50, 50, 50, 1, 2, 3, 5, 6, 7, 50, 50, 50}},
    {"BgrAlpha32OntoBgr24", kBgr24, kBgrAlpha32,
     {Bgrx(150, 0, 250, 128), Bgrx(1, 2, 3, 0), Bgrx(9, 10, 11, 255), Bgrx(250, 250, 250, 1)}, 0, 4,
     100, {100, 24, 150, 50, 50, 50, 9, 10, 11, 50, 50, 50}},
    {"YuvAlpha32DrawsNothingOnBgr24", kBgr24, kYuvAlpha32, {~0u, ~0u, ~0u, ~0u}, 0, 4, 100,
     Unchanged(kBgr24)},
    {"YuvLuma32DrawsNothingOnBgr24", kBgr24, kYuvLuma32, {~0u, ~0u, ~0u, ~0u}, 0, 4, 100,
     Unchanged(kBgr24)},
    {"UnlistedCode5OnYuy2", kYuy2, 5, {~0u, ~0u, ~0u, ~0u}, 0, 4, 100, Unchanged(kYuy2)},
    {"UnlistedCode1OnBgr24", kBgr24, 1, {~0u, ~0u, ~0u, ~0u}, 0, 4, 100, Unchanged(kBgr24)},
    {"UnlistedCode12OnYuy2", kYuy2, 12, {~0u, ~0u, ~0u, ~0u}, 0, 4, 100, Unchanged(kYuy2)},
};

INSTANTIATE_TEST_SUITE_P(Codes, CodeTable, ::testing::ValuesIn(kCodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DrawImage, UnknownFrameFormatNullBitsAndEmptyImagesDrawNothing) {
  const std::vector<uint32_t> image(16, kWhite);
  TestFrame frame(4, 4, kYuy2);
  frame.bytes.Fill(50);
  frame.adapter.DrawImage(frame.pixels(), Point{0, 0}, nullptr, Size{4, 4}, Rect{0, 0, 4, 4}, kBgr32,
                          100);
  frame.adapter.DrawImage(frame.pixels(), Point{0, 0}, image.data(), Size{0, 4}, Rect{0, 0, 4, 4},
                          kBgr32, 100);
  frame.adapter.DrawImage(frame.pixels(), Point{0, 0}, image.data(), Size{4, -4}, Rect{0, 0, 4, 4},
                          kBgr32, 100);
  frame.adapter.DrawImage(nullptr, Point{0, 0}, image.data(), Size{4, 4}, Rect{0, 0, 4, 4}, kBgr32, 100);
  frame.adapter.SetFormat(4, 4, 2);  // an unknown format after Yuy2: must not draw
  frame.adapter.DrawImage(frame.pixels(), Point{0, 0}, image.data(), Size{4, 4}, Rect{0, 0, 4, 4},
                          kBgr32, 100);
  EXPECT_EQ(frame.bytes.Bytes(), std::vector<uint8_t>(32, 50));
}

// ---------------------------------------------------------------------------------------------
// Block geometry against a per-pixel model: frame pixel (fx, fy) shows picture pixel
// (fx - x + left, fy - y + top) when that lies in the rectangle and in the picture, and fx lies in
// the frame's drawable width (on Yuy2 a last odd column has no whole pair and is left alone).
// Yuy2 is drawn with code 11 (bytes copied) and Bgr24 with codes 0 and 3.

struct BlockCase {
  const char* name;
  int32_t frameW, frameH;
  Point point;
  int32_t imageW, imageH;
  Rect rect;
};

class BlockTable : public ::testing::TestWithParam<BlockCase> {};

uint32_t PicturePixel(const std::vector<uint32_t>& image, int32_t w, int32_t h, int64_t x, int64_t y,
                      bool topDown) {
  return image[std::size_t((topDown ? y : h - 1 - y) * w + x)];
}

TEST_P(BlockTable, PixelsLandWhereTheModelSays) {
  const BlockCase& c = GetParam();
  std::mt19937 rng(7);
  std::vector<uint32_t> image(std::size_t(c.imageW) * c.imageH);
  for (uint32_t& p : image) p = rng();

  auto source = [&](int64_t fx, int64_t fy, int64_t* ix, int64_t* iy) {
    *ix = fx - c.point.x + c.rect.left;
    *iy = fy - c.point.y + c.rect.top;
    return *ix >= c.rect.left && *ix < c.rect.right && *iy >= c.rect.top && *iy < c.rect.bottom &&
           *ix >= 0 && *ix < c.imageW && *iy >= 0 && *iy < c.imageH;
  };

  for (int level : kCpuLevels) {
    CpuMaskScope mask(level);
    for (int32_t code : {kYuvLuma32, kBgr32, kBgrLuma32}) {
      const int32_t format = code == kYuvLuma32 ? kYuy2 : kBgr24;
      const bool topDown = code == kYuvLuma32;
      TestFrame frame(c.frameW, c.frameH, format);
      frame.bytes.FillRandom(rng);
      const GuardedBytes before = frame.bytes;
      frame.adapter.DrawImage(frame.pixels(), c.point, image.data(), Size{c.imageW, c.imageH}, c.rect,
                              code, 100);
      ASSERT_TRUE(frame.bytes.GuardsIntact()) << "level " << level << " code " << code;
      TestFrame expected(c.frameW, c.frameH, format);
      std::copy(before.data(), before.data() + before.size(), expected.bytes.data());
      const int32_t drawWidth = format == kYuy2 ? c.frameW & ~1 : c.frameW;
      for (int32_t fy = 0; fy < c.frameH; ++fy) {
        for (int32_t fx = 0; fx < drawWidth; ++fx) {
          int64_t ix, iy;
          if (!source(fx, fy, &ix, &iy)) continue;
          const uint32_t p = PicturePixel(image, c.imageW, c.imageH, ix, iy, topDown);
          uint8_t* e = expected.bytes.data();
          if (format == kYuy2) {
            const std::size_t base = expected.PairBase(fx, fy);
            if (fx & 1) {
              e[base + 2] = uint8_t(p >> 16);
            } else {
              e[base] = uint8_t(p);
              e[base + 1] = uint8_t(p >> 8);
              e[base + 3] = uint8_t(p >> 24);
            }
          } else {
            for (int ch = 0; ch < 3; ++ch) {
              e[3 * (std::size_t(c.frameW) * (c.frameH - 1 - fy) + fx) + ch] = uint8_t(p >> (8 * ch));
            }
          }
        }
      }
      ASSERT_EQ(frame.bytes.Bytes(), expected.bytes.Bytes()) << "level " << level << " code " << code;
    }
  }
}

const BlockCase kBlockCases[] = {
    {"WholeFrame", 64, 6, {0, 0}, 64, 6, {0, 0, 64, 6}},
    {"InnerBlockOddStartOddCount", 80, 7, {5, 1}, 40, 5, {3, 1, 36, 5}},
    {"EvenStartOddCount", 80, 3, {4, 0}, 40, 3, {0, 0, 37, 3}},
    {"OddStartEvenCount", 80, 3, {9, 2}, 60, 3, {0, 0, 50, 1}},
    {"RectPastTheImageRightEdge", 96, 5, {3, 1}, 30, 4, {10, 0, 50, 4}},
    {"RectPastTheImageBottom", 40, 9, {2, 2}, 30, 4, {0, 2, 30, 9}},
    {"RectStartsLeftOfTheImage", 64, 4, {2, 0}, 40, 4, {-7, 0, 20, 3}},
    {"NegativePointKeepsAlignment", 64, 4, {-11, -1}, 70, 4, {0, 0, 70, 4}},
    {"ImageLargerThanFrame", 20, 3, {0, 0}, 90, 8, {0, 0, 90, 8}},
    {"BlockPastTheFrameEdges", 50, 5, {33, 3}, 70, 6, {0, 0, 70, 6}},
    {"OddWidthYuy2LeavesTheLastColumn", 37, 3, {0, 0}, 37, 3, {0, 0, 37, 3}},
    {"OddWidthYuy2BlockEndingInside", 37, 3, {1, 0}, 37, 3, {0, 0, 34, 3}},
    {"EmptyRect", 16, 4, {0, 0}, 16, 4, {5, 0, 5, 4}},
    {"InvertedRect", 16, 4, {0, 0}, 16, 4, {9, 3, 2, 0}},
    {"PointBeyondTheFrame", 16, 4, {16, 0}, 16, 4, {0, 0, 16, 4}},
    {"PointAboveTheFrame", 16, 4, {0, -4}, 16, 4, {0, 0, 16, 4}},
    // Hostile coordinates: 32-bit sums of these overflow.
    {"FullRangeRectAtOrigin", 16, 4, {0, 0}, 16, 4, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}},
    {"FullRangeRectAtMinPoint", 48, 4, {INT_MIN, INT_MIN}, 40, 4, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}},
    {"PointNearMaxInt", 16, 4, {INT_MAX - 5, 0}, 16, 4, {0, 0, 16, 4}},
    {"WideRectFromMinInt", 48, 2, {INT_MIN + 3, 0}, 40, 2, {INT_MIN, 0, 10, 2}},
    {"WideRectPastMaxInt", 48, 2, {5, 0}, 40, 2, {INT_MIN, 0, 10, 2}},
    {"RectToMaxIntAtNegativePoint", 48, 2, {-INT_MAX, 0}, 40, 2, {INT_MAX - 30, 0, INT_MAX, 2}},
    // 32-bit wrapping would land this block at frame x -10.
    {"MaxIntPointWouldWrapOntoTheFrame", 48, 2, {INT_MAX, 0}, 40, 2, {INT_MIN + 9, 0, 30, 2}},
};

INSTANTIATE_TEST_SUITE_P(Blocks, BlockTable, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Colours in frame bytes.

struct ColorCase {
  int32_t frameFormat;
  uint32_t color;  // COLORREF 0x00BBGGRR
  uint32_t expected;
};

class ColorTable : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorTable, ConvertsToTheFrameLayout) {
  FrameAdapter adapter;
  adapter.SetFormat(16, 16, GetParam().frameFormat);
  EXPECT_EQ(adapter.ColorToFramePixel(GetParam().color), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Colors, ColorTable,
    ::testing::Values(
        // Light grey outline: (192, 128, 192, 128) and (192, 192, 192).
        ColorCase{kYuy2, 0xC0C0C0u, 0x80C080C0u}, ColorCase{kBgr24, 0xC0C0C0u, 0x00C0C0C0u},
        ColorCase{kYuy2, 0x0000FFu, 0xFF4C544Cu},    // red: Y 76, Cb 84, Cr 255
        ColorCase{kYuy2, 0xFF0000u, 0x6B1DFF1Du},    // blue: Y 29, Cb 255, Cr 107
        ColorCase{kYuy2, 0x00FF00u, 0x15952B95u},    // green: Y 149, Cb 43, Cr 21
        ColorCase{kYuy2, 0xFFFFFFu, 0x80FF80FFu}, ColorCase{kYuy2, 0x000000u, 0x80008000u},
        ColorCase{kYuy2, 0xFF123456u, 0x933A693Au},  // the COLORREF's top byte is ignored
        ColorCase{kBgr24, 0x00123456u, 0x00563412u}, ColorCase{kBgr24, 0xFF123456u, 0x00563412u},
        ColorCase{7, 0xFF123456u, 0xFF123456u}));

// ---------------------------------------------------------------------------------------------
// Lines and rings against a pixel-set model: the drawn pixels carry the single blend of the
// colour, every other pixel keeps its bytes; on Yuy2 a pair's chroma is drawn exactly when its
// even pixel is.

// out = clamp(K + floor((D - K) * w / 256)), w = MulDiv(100 - opacity, 256, 100) for 0..100.
uint8_t LineBlend(int d, int k, int opacity) {
  const int percent = opacity < 0 ? 0 : opacity > 100 ? 100 : opacity;
  const int keep = ((100 - percent) * 256 + 50) / 100;
  int t = (d - k) * keep;
  t = t >= 0 ? t / 256 : -((-t + 255) / 256);
  const int v = k + t;
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

template <class Drawn>
void ExpectDrawnSet(const TestFrame& frame, const GuardedBytes& before, uint32_t color,
                    int opacity, Drawn drawn) {
  ASSERT_TRUE(frame.bytes.GuardsIntact());
  const uint8_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  std::vector<uint8_t> expected = before.Bytes();
  const int32_t w = frame.width, h = frame.height;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      if (!drawn(x, y)) continue;
      if (frame.format == kBgr24) {
        const std::size_t base = 3 * (std::size_t(w) * (h - 1 - y) + x);
        const uint8_t k[3] = {b, g, r};
        for (int c = 0; c < 3; ++c) expected[base + c] = LineBlend(expected[base + c], k[c], opacity);
      } else {
        // The outline grey is all that the ring tests draw on Yuy2: Y 192, Cb = Cr = 128.
        const std::size_t base = frame.PairBase(x, y);
        if (x & 1) {
          expected[base + 2] = LineBlend(expected[base + 2], 192, opacity);
        } else {
          expected[base] = LineBlend(expected[base], 192, opacity);
          expected[base + 1] = LineBlend(expected[base + 1], 128, opacity);
          expected[base + 3] = LineBlend(expected[base + 3], 128, opacity);
        }
      }
    }
  }
  const std::vector<uint8_t> actual = frame.bytes.Bytes();
  for (std::size_t i = 0; i < actual.size(); ++i) {
    ASSERT_EQ(actual[i], expected[i]) << "byte " << i << " (row " << i / (actual.size() / h) << ")";
  }
}

constexpr uint32_t kGrey = 0xC0C0C0u;

struct LineBlendCase {
  int opacity, d, luma, chroma;  // expected Y (and every Bgr24 byte) and Cb/Cr for colour kGrey
};

class LineBlendTable : public ::testing::TestWithParam<LineBlendCase> {};

TEST_P(LineBlendTable, WeighsTheOldBytesByTheRemainingPercent) {
  const LineBlendCase& c = GetParam();
  TestFrame bgr(8, 2, kBgr24), yuy(8, 2, kYuy2);
  bgr.bytes.Fill(uint8_t(c.d));
  yuy.bytes.Fill(uint8_t(c.d));
  bgr.adapter.DrawHorizontalLine(bgr.pixels(), 0, 8, 1, kGrey, c.opacity);
  yuy.adapter.DrawHorizontalLine(yuy.pixels(), 0, 8, 1, kGrey, c.opacity);
  for (int32_t x = 0; x < 8; ++x) {
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(bgr.Bgr(x, 1, ch), c.luma);
    EXPECT_EQ(yuy.Luma(x, 1), c.luma);
    EXPECT_EQ(yuy.Cb(x, 1), c.chroma);
    EXPECT_EQ(yuy.Cr(x, 1), c.chroma);
    EXPECT_EQ(bgr.Bgr(x, 0, 0), c.d);
    EXPECT_EQ(yuy.Luma(x, 0), c.d);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineBlendTable,
    ::testing::Values(LineBlendCase{50, 0, 96, 64}, LineBlendCase{50, 255, 223, 191},
                      LineBlendCase{0, 77, 77, 77}, LineBlendCase{100, 77, 192, 128},
                      LineBlendCase{25, 0, 48, 32}, LineBlendCase{1, 255, 254, 253},
                      LineBlendCase{150, 77, 192, 128}, LineBlendCase{-1, 77, 77, 77},
                      LineBlendCase{INT_MIN, 77, 77, 77}, LineBlendCase{INT_MAX, 77, 192, 128}));

struct LineCase {
  const char* name;
  int32_t format;
  bool horizontal;
  int32_t from, to, at;  // run from..to on row (column) `at`
  int32_t first, last;   // the pixels expected drawn; first > last for none
};

class LineTable : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineTable, DrawsTheClippedRunOnly) {
  const LineCase& c = GetParam();
  std::mt19937 rng(11);
  TestFrame frame(16, 6, c.format);
  frame.bytes.FillRandom(rng);
  const GuardedBytes before = frame.bytes;
  if (c.horizontal) {
    frame.adapter.DrawHorizontalLine(frame.pixels(), c.from, c.to, c.at, kGrey, 100);
  } else {
    frame.adapter.DrawVerticalLine(frame.pixels(), c.at, c.from, c.to, kGrey, 100);
  }
  ExpectDrawnSet(frame, before, kGrey, 100, [&](int32_t x, int32_t y) {
    const int32_t along = c.horizontal ? x : y, across = c.horizontal ? y : x;
    return across == c.at && along >= c.first && along <= c.last;
  });
}

const LineCase kLineCases[] = {
    {"ForwardOddStartEvenEnd", kYuy2, true, 3, 9, 1, 3, 8},
    {"BackwardExcludesTheEnd", kYuy2, true, 9, 3, 1, 4, 9},
    {"Bgr24Forward", kBgr24, true, 3, 9, 5, 3, 8},
    {"Bgr24Backward", kBgr24, true, 9, 3, 0, 4, 9},
    {"EmptyRun", kYuy2, true, 5, 5, 1, 1, 0},
    {"ClippedAtTheLeft", kYuy2, true, -5, 3, 2, 0, 2},
    {"ClippedAtTheRight", kBgr24, true, 20, 10, 2, 11, 15},
    {"StartsAtTheWidth", kYuy2, true, 16, 30, 2, 1, 0},
    {"EndsLeftOfZero", kBgr24, true, -10, -1, 2, 1, 0},
    {"RowAbove", kYuy2, true, 0, 16, -1, 1, 0},
    {"RowBelow", kBgr24, true, 0, 16, 6, 1, 0},
    {"FullRangeForward", kYuy2, true, INT_MIN, INT_MAX, 3, 0, 15},
    {"FullRangeBackward", kBgr24, true, INT_MAX, INT_MIN, 3, 0, 15},
    {"SinglePixelOdd", kYuy2, true, 7, 8, 0, 7, 7},
    {"SinglePixelEven", kYuy2, true, 8, 9, 0, 8, 8},
    {"VerticalEvenColumn", kYuy2, false, 1, 5, 4, 1, 4},
    {"VerticalOddColumnLeavesChroma", kYuy2, false, 5, 0, 7, 1, 5},
    {"VerticalBgr24", kBgr24, false, 0, 6, 15, 0, 5},
    {"VerticalClipped", kBgr24, false, -3, 100, 2, 0, 5},
    {"VerticalColumnOutside", kYuy2, false, 0, 6, 16, 1, 0},
    {"VerticalNegativeColumn", kBgr24, false, 0, 6, -1, 1, 0},
    {"VerticalBelowTheFrame", kYuy2, false, 6, 9, 2, 1, 0},
    {"VerticalFullRange", kYuy2, false, INT_MAX, INT_MIN, 3, 0, 5},
};

INSTANTIATE_TEST_SUITE_P(Lines, LineTable, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DrawLines, OddYuy2WidthLeavesTheLastColumnAndTheBytesPastTheFrame) {
  TestFrame frame(15, 3, kYuy2);
  frame.bytes.Fill(9);
  frame.adapter.DrawVerticalLine(frame.pixels(), 14, 0, 3, kGrey, 100);
  frame.adapter.DrawHorizontalLine(frame.pixels(), 12, 15, 2, kGrey, 100);
  EXPECT_TRUE(frame.bytes.GuardsIntact());
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(frame.Luma(14, y), 9);
  EXPECT_EQ(frame.Luma(12, 2), 192);
  EXPECT_EQ(frame.Luma(13, 2), 192);
}

// Rings: pixel (x, y) is drawn when it lies on the border of one of the rectangles
// [L + i, R - i] x [T + i, B - i], i < rings, with L, T, R, B the inclusive bounds widened by the
// ring count for negative thickness.
struct RingCase {
  const char* name;
  int32_t w, h;
  Rect rect;
  int32_t thickness, opacity;
};

class RingTable : public ::testing::TestWithParam<std::tuple<RingCase, int32_t>> {};

bool OnRing(const RingCase& c, int32_t x, int32_t y) {
  if (c.thickness == 0 || c.thickness == INT_MIN) return false;
  const int64_t n = c.thickness < 0 ? -int64_t{c.thickness} : c.thickness;
  const int64_t grow = c.thickness < 0 ? n : 0;
  for (int64_t i = 0; i < n; ++i) {
    const int64_t l = c.rect.left - grow + i, t = c.rect.top - grow + i;
    const int64_t r = int64_t{c.rect.right} - 1 + grow - i, b = int64_t{c.rect.bottom} - 1 + grow - i;
    if (l > r || t > b) break;
    if (x < l || x > r || y < t || y > b) continue;
    if (x == l || x == r || y == t || y == b) return true;
  }
  return false;
}

TEST_P(RingTable, DrawsEveryRingPixelOnce) {
  const RingCase& c = std::get<0>(GetParam());
  const int32_t format = std::get<1>(GetParam());
  std::mt19937 rng(5);
  TestFrame frame(c.w, c.h, format);
  frame.bytes.FillRandom(rng);
  const GuardedBytes before = frame.bytes;
  frame.adapter.DrawFrameRect(frame.pixels(), c.rect, c.thickness, kGrey, c.opacity);
  const int32_t drawWidth = format == kYuy2 ? c.w & ~1 : c.w;
  ExpectDrawnSet(frame, before, kGrey, c.opacity,
                 [&](int32_t x, int32_t y) { return x < drawWidth && OnRing(c, x, y); });
}

const RingCase kRingCases[] = {
    {"OutlineOfTheDefaultRegion", 720, 576, {14, 12, 158, 127}, -2, 100},
    {"HalfOpaqueCornersBlendOnce", 720, 576, {14, 12, 158, 127}, -2, 50},
    {"ThicknessOneOnTheBorder", 64, 40, {10, 5, 30, 20}, 1, 100},
    {"ThreeRingsInside", 64, 40, {9, 5, 31, 20}, 3, 100},
    {"ThicknessZero", 64, 40, {10, 5, 30, 20}, 0, 100},
    {"ThicknessMinInt", 64, 40, {10, 5, 30, 20}, INT_MIN, 100},
    {"TouchingTopLeft", 64, 40, {0, 0, 20, 10}, -2, 100},
    {"TouchingBottomRight", 64, 40, {50, 30, 64, 40}, -2, 100},
    {"WholeFrameRingsFallOutside", 64, 40, {0, 0, 64, 40}, -2, 100},
    {"WholeFrameInside", 64, 40, {0, 0, 64, 40}, 2, 75},
    {"OddWidthYuy2", 33, 12, {20, 2, 32, 10}, -1, 100},
    {"OnePixelRect", 16, 8, {5, 3, 6, 4}, -1, 100},
    {"EmptyRectStillGetsOuterRings", 16, 8, {5, 3, 5, 3}, -2, 100},
    // Only one side of the rings inside the frame.
    {"OnlyLeftColumnsInside", 64, 40, {10, -100, 100, 200}, -2, 100},
    {"OnlyRightColumnsInside", 64, 40, {-50, -100, 30, 200}, -2, 100},
    {"OnlyTopRowsInside", 64, 40, {-50, 10, 100, 100}, -2, 100},
    {"OnlyBottomRowsInside", 64, 40, {-50, -100, 100, 30}, -2, 100},
};

INSTANTIATE_TEST_SUITE_P(Rings, RingTable,
                         ::testing::Combine(::testing::ValuesIn(kRingCases),
                                            ::testing::Values(kYuy2, kBgr24)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == kYuy2 ? "_Yuy2" : "_Bgr24");
                         });

TEST(DrawFrameRect, DefaultOutlineCoversTheDescribedRowsAndColumns) {
  TestFrame frame(720, 576, kBgr24);
  frame.bytes.Fill(0);
  frame.adapter.DrawFrameRect(frame.pixels(), Rect{14, 12, 158, 127}, -2, kGrey, 100);
  for (int32_t y = 0; y < 576; ++y) {
    for (int32_t x = 0; x < 720; ++x) {
      const bool rows = (y == 10 || y == 11 || y == 127 || y == 128) && x >= 12 && x <= 159;
      const bool cols = (x == 12 || x == 13 || x == 158 || x == 159) && y >= 12 && y <= 126;
      ASSERT_EQ(frame.Bgr(x, y, 1), (rows || cols) ? 192 : 0) << x << ", " << y;
    }
  }
}

// Ring bounds of hostile rectangles and thicknesses leave the 32-bit range; only the rings that
// can reach the frame are visited.
TEST(DrawFrameRect, HostileThicknessesNeitherOverflowNorLoopForever) {
  for (int32_t format : {kYuy2, kBgr24}) {
    std::mt19937 rng(3);
    // Rings far outside: nothing to draw.
    TestFrame far(720, 576, format);
    far.bytes.FillRandom(rng);
    const GuardedBytes farBefore = far.bytes;
    far.adapter.DrawFrameRect(far.pixels(), Rect{INT_MAX - 10, INT_MAX - 10, INT_MAX, INT_MAX},
                              -(1 << 30), kGrey, 100);
    far.adapter.DrawFrameRect(far.pixels(), Rect{INT_MIN, INT_MIN, INT_MIN + 4, INT_MIN + 4},
                              INT_MAX, kGrey, 100);
    EXPECT_EQ(far.bytes.Bytes(), farBefore.Bytes());
    EXPECT_TRUE(far.bytes.GuardsIntact());

    // A billion rings from (0, 0): ring i's top row is row i from column i rightwards and its left
    // column is column i below row i, so together they cover every pixel exactly once.
    TestFrame stairs(720, 576, format);
    stairs.bytes.FillRandom(rng);
    const GuardedBytes stairsBefore = stairs.bytes;
    stairs.adapter.DrawFrameRect(stairs.pixels(),
                                 Rect{1000000000, 1000000000, 1000000010, 1000000010}, -1000000000,
                                 kGrey, 50);
    ExpectDrawnSet(stairs, stairsBefore, kGrey, 50, [](int32_t, int32_t) { return true; });

    // Rings shrinking from far outside onto the frame's own border.
    TestFrame inward(720, 576, format), reference(720, 576, format);
    inward.bytes.FillRandom(rng);
    std::copy(inward.bytes.data(), inward.bytes.data() + inward.bytes.size(), reference.bytes.data());
    inward.adapter.DrawFrameRect(inward.pixels(),
                                 Rect{-1000000000, -1000000000, 1000000720, 1000000576},
                                 1000000003, kGrey, 60);
    reference.adapter.DrawFrameRect(reference.pixels(), Rect{0, 0, 720, 576}, 3, kGrey, 60);
    EXPECT_EQ(inward.bytes.Bytes(), reference.bytes.Bytes());
  }
}

}  // namespace
}  // namespace vle
