// The synthetic broadcast keeps the promises the end-to-end tests build on: a picture that moves
// everywhere, a logo whose opaque parts never change and lie inside the default region, and host
// layouts that carry the same picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "broadcast.h"
#include "tool_run.h"

namespace vle::test {
namespace {

using broadcast::FrameBytes;
using broadcast::Layout;
using broadcast::SyntheticBroadcast;

struct SizeCase {
  int width, height;
  Layout layout;
  size_t bytes;  // 0: refused
};

class BroadcastSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BroadcastSizes, AreLaidOutOrRefused) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(FrameBytes(c.width, c.height, c.layout), c.bytes);
  if (c.bytes == 0) {
    EXPECT_THROW(SyntheticBroadcast(c.width, c.height, c.layout), std::invalid_argument);
  } else {
    EXPECT_EQ(SyntheticBroadcast(c.width, c.height, c.layout).frameBytes(), c.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BroadcastSizes,
    ::testing::Values(SizeCase{720, 576, Layout::kYuy2, 720 * 576 * 2},
                      SizeCase{721, 576, Layout::kBgr24, 721 * 576 * 3}, SizeCase{721, 576, Layout::kYuy2, 0},
                      SizeCase{2, 1, Layout::kYuy2, 4}, SizeCase{0, 576, Layout::kBgr24, 0},
                      SizeCase{720, -1, Layout::kBgr24, 0}, SizeCase{16386, 2, Layout::kYuy2, 0}));

// Over the frames a 300-frame run captures, every position outside the logo's opaque parts
// (translucent plate included) swings far beyond the default threshold of 50, and every opaque
// position does not swing at all.
struct MotionCase {
  int width, height;
  Layout layout;
};

class BroadcastMotion : public ::testing::TestWithParam<MotionCase> {};

TEST_P(BroadcastMotion, BackgroundSwingsAndOpaqueLogoStaysStill) {
  const MotionCase& c = GetParam();
  const SyntheticBroadcast b(c.width, c.height, c.layout);
  const size_t pixels = size_t(c.width) * size_t(c.height);
  std::vector<uint8_t> rgb(3 * pixels), low(pixels, 255), high(pixels, 0);
  for (int n = 25; n < 300; ++n) {
    b.RenderRgb(n, rgb.data());
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t luma =
          uint8_t((9798 * rgb[3 * i] + 19235 * rgb[3 * i + 1] + 3735 * rgb[3 * i + 2]) >> 15);
      low[i] = std::min(low[i], luma);
      high[i] = std::max(high[i], luma);
    }
  }
  const std::vector<uint8_t> mask = b.OpaqueMask();
  const Box region = DefaultRegion(c.width, c.height);
  int smallestSwing = 255, opaque = 0, opaqueMoving = 0, opaqueOutside = 0;
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      const size_t i = size_t(y) * size_t(c.width) + size_t(x);
      if (mask[i]) {
        ++opaque;
        opaqueMoving += high[i] != low[i];
        opaqueOutside += x < region.left || x >= region.right || y < region.top || y >= region.bottom;
      } else {
        smallestSwing = std::min(smallestSwing, high[i] - low[i]);
      }
    }
  }
  EXPECT_GT(smallestSwing, 100);
  EXPECT_EQ(opaqueMoving, 0);
  EXPECT_EQ(opaqueOutside, 0);
  // A logo worth finding: a sizeable part of the region.
  const int regionArea = (region.right - region.left) * (region.bottom - region.top);
  EXPECT_GT(opaque, regionArea / 20);
  EXPECT_LT(opaque, regionArea / 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BroadcastMotion,
                         ::testing::Values(MotionCase{720, 576, Layout::kYuy2},
                                           MotionCase{161, 121, Layout::kBgr24}));

// Bgr24 is the picture bottom-up in B, G, R; Yuy2 keeps each pixel's luma and its pair's colour.
TEST(Broadcast, LayoutsCarryThePicture) {
  const int w = 96, h = 64;
  const SyntheticBroadcast bgr(w, h, Layout::kBgr24), yuy(w, h, Layout::kYuy2);
  std::vector<uint8_t> rgb(3 * w * h), frame(bgr.frameBytes()), packed(yuy.frameBytes());
  for (int n : {0, 7, 1500}) {
    bgr.RenderRgb(n, rgb.data());
    bgr.Render(n, frame.data());
    EXPECT_TRUE(broadcast::FrameToRgb(frame.data(), w, h, Layout::kBgr24) == rgb) << "frame " << n;
    EXPECT_EQ(frame[0], rgb[3 * w * (h - 1) + 2]);  // first byte: blue of the bottom-left pixel

    yuy.Render(n, packed.data());
    const std::vector<uint8_t> back = broadcast::FrameToRgb(packed.data(), w, h, Layout::kYuy2);
    int64_t error = 0;
    for (size_t i = 0; i < rgb.size(); ++i) error += std::abs(int(back[i]) - int(rgb[i]));
    // Chroma shared by pairs costs a little colour at edges, never the picture.
    EXPECT_LT(double(error) / double(rgb.size()), 4.0) << "frame " << n;
  }
}

TEST(Broadcast, FramesDependOnTheirNumberAlone) {
  const SyntheticBroadcast a(64, 48, Layout::kYuy2), b(64, 48, Layout::kYuy2);
  std::vector<uint8_t> fa(a.frameBytes()), fb(b.frameBytes()), next(a.frameBytes());
  b.Render(3, fb.data());  // another history first
  a.Render(41, fa.data());
  b.Render(41, fb.data());
  a.Render(42, next.data());
  EXPECT_TRUE(fa == fb);
  EXPECT_FALSE(fa == next);
}

}  // namespace
}  // namespace vle::test
