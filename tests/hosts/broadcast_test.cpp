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

// ---- Scenes: the truth they report is what their frames show ----

struct SceneCase {
  const char* name;
  broadcast::Scene scene;
  double centreX, centreY;  // where the logo box's centre lies, in fractions of the frame
};

void PrintTo(const SceneCase& c, std::ostream* os) { *os << c.name; }

class BroadcastScenes : public ::testing::TestWithParam<SceneCase> {};

TEST_P(BroadcastScenes, FramesShowWhatTheTruthSays) {
  const SceneCase& c = GetParam();
  const SyntheticBroadcast b(c.scene);
  const broadcast::Scene& s = c.scene;
  const int w = s.width, h = s.height;
  broadcast::Scene bare = s;
  bare.logo = false;
  const SyntheticBroadcast without(bare);
  std::vector<uint8_t> rgb(3 * size_t(w) * size_t(h)), plain(rgb.size());
  const broadcast::PixelBox box = b.LogoBox();
  if (!s.logo) {
    EXPECT_EQ(box.width * box.height, 0);
    EXPECT_TRUE(std::all_of(b.LogoAlpha().begin(), b.LogoAlpha().end(), [](uint8_t a) { return a == 0; }));
  } else {
    EXPECT_NEAR((box.left + box.width / 2.0) / w, c.centreX, 0.02);
    EXPECT_NEAR((box.top + box.height / 2.0) / h, c.centreY, 0.02);
  }
  const std::vector<uint8_t>& alpha = b.LogoAlpha();
  const std::vector<uint8_t>& color = b.LogoRgb();
  for (int n : {30, 200, 401}) {
    b.RenderRgb(n, rgb.data());
    without.RenderRgb(n, plain.data());
    const bool shown = b.LogoShown(n);
    int64_t wrong = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const size_t i = size_t(y) * size_t(w) + size_t(x);
        const bool bar = x < s.pillarbox || x >= w - s.pillarbox || y < s.letterbox || y >= h - s.letterbox;
        for (int k = 0; k < 3; ++k) {
          const int a = shown ? alpha[i] : 0;
          const int expected = (a * color[3 * i + k] + (255 - a) * plain[3 * i + k] + 127) / 255;
          wrong += rgb[3 * i + k] != expected;
          if (bar) wrong += plain[3 * i + k] != 0;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "frame " << n;
  }
  const broadcast::PixelBox grey = b.GreyBox();
  if (s.greyBox) {
    ASSERT_GT(grey.width * grey.height, 0);
    // Apart from the logo: the two never overlap.
    EXPECT_TRUE(grey.left >= box.left + box.width || box.left >= grey.left + grey.width ||
                grey.top >= box.top + box.height || box.top >= grey.top + grey.height);
    const uint8_t* p = &plain[3 * (size_t(grey.top + 3) * size_t(w) + size_t(grey.left + 3))];
    EXPECT_TRUE(p[0] == 128 && p[1] == 128 && p[2] == 128);
  }
}

broadcast::Scene MakeScene(int w, int h, broadcast::LogoPlace place,
                           broadcast::LogoStyle style = broadcast::LogoStyle::kPlate) {
  broadcast::Scene s;
  s.width = w, s.height = h, s.place = place, s.style = style;
  s.layout = Layout::kBgr24;
  return s;
}

broadcast::Scene With(broadcast::Scene s, void (*change)(broadcast::Scene&)) {
  change(s);
  return s;
}

using broadcast::LogoPlace;
using broadcast::LogoStyle;
INSTANTIATE_TEST_SUITE_P(
    Table, BroadcastScenes,
    ::testing::Values(
        SceneCase{"top_left", MakeScene(160, 120, LogoPlace::kTopLeft), 0.12, 0.115},
        SceneCase{"top_right", MakeScene(160, 120, LogoPlace::kTopRight), 0.88, 0.115},
        SceneCase{"bottom_left_opaque", MakeScene(160, 120, LogoPlace::kBottomLeft, LogoStyle::kOpaque), 0.12,
                  0.88},
        SceneCase{"bottom_right_white_half", MakeScene(160, 120, LogoPlace::kBottomRight, LogoStyle::kWhiteHalf),
                  0.88, 0.88},
        SceneCase{"top_centre_gradient", MakeScene(160, 120, LogoPlace::kTopCentre, LogoStyle::kGradient), 0.5,
                  0.115},
        SceneCase{"letterbox_breaks_grey_box",
                  With(MakeScene(160, 120, LogoPlace::kTopRight),
                       [](broadcast::Scene& s) {
                         s.letterbox = 20, s.greyBox = true;
                         s.breaks = {{100, 250}, {400, 402}};
                       }),
                  0.88, (20 + 0.115 * 80) / 120},
        SceneCase{"pillarbox_bottom_centre",
                  With(MakeScene(160, 120, LogoPlace::kBottomCentre), [](broadcast::Scene& s) { s.pillarbox = 20; }),
                  0.5, 0.88},
        SceneCase{"no_logo", With(MakeScene(160, 120, LogoPlace::kTopLeft), [](broadcast::Scene& s) {
                                s.logo = false, s.greyBox = true;
                              }),
                  0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The styles' opacity: the plate's parts opaque over alpha 120, one half, or 0.2 .. 0.9 left to right.
TEST(Broadcast, StylesHaveTheirOpacity) {
  auto alphas = [](LogoStyle style) {
    const SyntheticBroadcast b(MakeScene(200, 150, LogoPlace::kTopLeft, style));
    std::vector<int> seen(256);
    for (uint8_t a : b.LogoAlpha()) ++seen[a];
    return seen;
  };
  const std::vector<int> plate = alphas(LogoStyle::kPlate), opaque = alphas(LogoStyle::kOpaque),
                         half = alphas(LogoStyle::kWhiteHalf), gradient = alphas(LogoStyle::kGradient);
  EXPECT_GT(plate[120], 0);
  EXPECT_EQ(plate[255], opaque[255]);  // the same opaque parts
  EXPECT_EQ(opaque[255] + opaque[0], 200 * 150);
  EXPECT_EQ(half[128], opaque[255]);
  int lowest = 255, highest = 0;
  for (int a = 1; a < 256; ++a) {
    if (gradient[a] == 0) continue;
    lowest = std::min(lowest, a), highest = std::max(highest, a);
  }
  EXPECT_NEAR(lowest, 51, 8);
  EXPECT_NEAR(highest, 230, 8);
}

}  // namespace
}  // namespace vle::test
