// The analysis layer on planes made here: bars, the finder against flat areas and breaks, the
// mask's rule at its boundaries, and the delogo box at the frame's edges.
#include <gtest/gtest.h>

#include <random>

#include "analysis/logo_finder.h"
#include "analysis/steady_mask.h"
#include "broadcast.h"

namespace vle::analysis {
namespace {

// ---- Bars ----

struct BarCase {
  const char* name;
  int top, bottom, left, right;  // bar sizes
  Rect expected;                 // of a 200 x 100 picture
  int barLuma = 0;
};

void PrintTo(const BarCase& c, std::ostream* os) { *os << c.name; }

class Bars : public ::testing::TestWithParam<BarCase> {};

TEST_P(Bars, AreCroppedWhenDarkAndFlat) {
  const BarCase& c = GetParam();
  std::mt19937 random(7);
  std::vector<LumaPlane> samples;
  for (int k = 0; k < 10; ++k) {
    LumaPlane p(200, 100);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x) {
        const bool bar = y < c.top || y >= 100 - c.bottom || x < c.left || x >= 200 - c.right;
        p.at(x, y) = bar ? uint8_t(c.barLuma) : uint8_t(40 + random() % 180);
      }
    samples.push_back(p);
  }
  EXPECT_TRUE(ActivePicture(samples) == c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Bars,
    ::testing::Values(BarCase{"none", 0, 0, 0, 0, Rect{0, 0, 200, 100}},
                      BarCase{"letterbox", 12, 12, 0, 0, Rect{0, 12, 200, 76}},
                      BarCase{"pillarbox", 0, 0, 25, 25, Rect{25, 0, 150, 100}},
                      BarCase{"uneven_both", 5, 9, 3, 0, Rect{3, 5, 197, 86}},
                      // Bars over half the picture: a dark recording, not bars.
                      BarCase{"too_big", 30, 30, 0, 0, Rect{0, 0, 200, 100}},
                      // A grey band is no bar.
                      BarCase{"grey_band", 12, 12, 0, 0, Rect{0, 0, 200, 100}, 128}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The finder on the synthetic broadcast's luma, frames far apart ----

std::vector<LumaPlane> Samples(const broadcast::Scene& scene, int count, int step) {
  const broadcast::SyntheticBroadcast b(scene);
  std::vector<uint8_t> rgb(3 * size_t(scene.width) * size_t(scene.height));
  std::vector<LumaPlane> out;
  for (int k = 0; k < count; ++k) {
    b.RenderRgb(int64_t(k) * step, rgb.data());
    LumaPlane p(scene.width, scene.height);
    for (size_t i = 0; i < p.pixels.size(); ++i)
      p.pixels[i] = uint8_t((9798 * rgb[3 * i] + 19235 * rgb[3 * i + 1] + 3735 * rgb[3 * i + 2]) >> 15);
    out.push_back(p);
  }
  return out;
}

struct FinderCase {
  const char* name;
  bool logo, greyBox;
  std::vector<broadcast::FrameRange> breaks;
  broadcast::LogoStyle style = broadcast::LogoStyle::kPlate;
};

void PrintTo(const FinderCase& c, std::ostream* os) { *os << c.name; }

class Finder : public ::testing::TestWithParam<FinderCase> {};

TEST_P(Finder, FindsTheLogoNotTheGreyBoxDespiteBreaks) {
  const FinderCase& c = GetParam();
  broadcast::Scene scene;
  scene.width = 320, scene.height = 240, scene.place = broadcast::LogoPlace::kTopRight;
  scene.logo = c.logo, scene.greyBox = c.greyBox, scene.breaks = c.breaks, scene.style = c.style;
  // 40 samples, 37 frames apart.
  const std::vector<LumaPlane> samples = Samples(scene, 40, 37);
  LogoFinder finder(320, 240);
  for (const LumaPlane& s : samples) ASSERT_TRUE(finder.Add(s));
  const FinderResult r = finder.Find();
  ASSERT_EQ(r.found, c.logo) << r.why;
  if (!c.logo) {
    EXPECT_NE(r.why.find("no logo"), std::string::npos);
    return;
  }
  const broadcast::SyntheticBroadcast b(scene);
  const broadcast::PixelBox t = b.LogoBox();
  // Within a few pixels of the logo's box (the translucent plate's rim may or may not count).
  EXPECT_NEAR(r.box.left, t.left, 4);
  EXPECT_NEAR(r.box.top, t.top, 4);
  EXPECT_NEAR(r.box.right(), t.left + t.width, 4);
  EXPECT_NEAR(r.box.bottom(), t.top + t.height, 4);
  // The samples inside breaks are the ones dropped, and presence tells them apart.
  int inBreaks = 0;
  const LogoPresence presence(r, 320);
  for (int k = 0; k < 40; ++k) {
    const bool shown = b.LogoShown(int64_t(k) * 37);
    inBreaks += !shown;
    const Rect& a = presence.area();
    LumaPlane area(a.width, a.height);
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x) area.at(x, y) = samples[size_t(k)].at(a.left + x, a.top + y);
    EXPECT_EQ(presence.Shows(area), shown) << "sample " << k;
  }
  EXPECT_EQ(r.withoutLogo, inBreaks);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Finder,
    ::testing::Values(FinderCase{"logo", true, false, {}},
                      FinderCase{"logo_and_grey_box", true, true, {}},
                      // 12 of the 40 samples in two breaks.
                      FinderCase{"two_breaks", true, true, {{200, 400}, {900, 1200}}},
                      FinderCase{"opaque_logo", true, false, {}, broadcast::LogoStyle::kOpaque},
                      FinderCase{"grey_box_alone", false, true, {}},
                      FinderCase{"nothing", false, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The mask's rule, at its edges ----

struct RuleCase {
  const char* name;
  uint8_t low, high;  // the pixel's luma range over the frames
  int threshold, blackLevel;
  bool invert;
  bool logo;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class MaskRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(MaskRule, KeysAsThePlugInKeys) {
  const RuleCase& c = GetParam();
  SteadyMask mask(8, 6, Rect{2, 1, 3, 4});
  for (uint8_t v : {c.low, c.high, uint8_t((c.low + c.high) / 2)}) mask.Add(LumaPlane(3, 4, v));
  const LumaPlane m = mask.Mask(c.threshold, c.blackLevel, c.invert);
  ASSERT_EQ(m.width, 8);
  ASSERT_EQ(m.height, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 5;
      EXPECT_EQ(m.at(x, y), inside && c.logo ? 255 : 0) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MaskRule,
                         ::testing::Values(RuleCase{"swing_at_threshold", 100, 150, 50, 0, false, true},
                                           RuleCase{"swing_above_threshold", 100, 151, 50, 0, false, false},
                                           RuleCase{"at_black_level", 20, 20, 50, 20, false, true},
                                           RuleCase{"below_black_level", 19, 19, 50, 20, false, false},
                                           RuleCase{"inverted_steady", 100, 100, 50, 0, true, false},
                                           RuleCase{"inverted_moving", 0, 255, 50, 0, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MaskRule, NoFramesNoLogoAndRegionsAreClipped) {
  EXPECT_TRUE(BoundingBox(SteadyMask(10, 10, Rect{0, 0, 10, 10}).Mask(50, 0, false)).empty());
  SteadyMask clipped(10, 10, Rect{7, 8, 9, 9});
  EXPECT_TRUE(clipped.region() == (Rect{7, 8, 3, 2}));
  clipped.Add(LumaPlane(3, 2, 9));
  EXPECT_TRUE(BoundingBox(clipped.Mask(50, 0, false)) == (Rect{7, 8, 3, 2}));
}

// ---- The delogo box ----

struct DelogoCase {
  const char* name;
  Rect box, expected;  // in a 100 x 50 frame
};

void PrintTo(const DelogoCase& c, std::ostream* os) { *os << c.name; }

class Delogo : public ::testing::TestWithParam<DelogoCase> {};

TEST_P(Delogo, StaysOnePixelInsideTheFrame) {
  const DelogoCase& c = GetParam();
  EXPECT_TRUE(DelogoBox(c.box, 100, 50) == c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Delogo,
                         ::testing::Values(DelogoCase{"inside", {10, 5, 20, 10}, {10, 5, 20, 10}},
                                           DelogoCase{"top_left_corner", {0, 0, 20, 10}, {1, 1, 19, 9}},
                                           DelogoCase{"bottom_right_corner", {80, 40, 20, 10}, {80, 40, 19, 9}},
                                           DelogoCase{"whole_frame", {0, 0, 100, 50}, {1, 1, 98, 48}},
                                           DelogoCase{"empty", {5, 5, 0, 3}, {0, 0, 0, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Mask shapes: what an outline encloses is filled, what reaches the border is not ----

TEST(MaskShape, FillsWhatAnOutlineEnclosesAndGrowsEverySide) {
  // A closed square outline at 1..5, and an open one (its right side missing) at 8..12.
  LumaPlane m(14, 7);
  for (int k = 1; k <= 5; ++k) m.at(k, 1) = m.at(k, 5) = m.at(1, k) = m.at(5, k) = 255;
  for (int k = 8; k <= 12; ++k) m.at(k, 1) = m.at(k, 5) = 255;
  for (int k = 1; k <= 5; ++k) m.at(8, k) = 255;
  const LumaPlane filled = FillEnclosed(m);
  EXPECT_EQ(filled.at(3, 3), 255);  // inside the closed outline
  EXPECT_EQ(filled.at(10, 3), 0);   // the open one leaks to the border
  EXPECT_EQ(filled.at(0, 0), 0);
  EXPECT_EQ(filled.at(8, 3), 255);

  const LumaPlane grown = Grow(m, 2);
  ASSERT_EQ(grown.width, 18);
  ASSERT_EQ(grown.height, 11);
  EXPECT_EQ(grown.at(1, 1), 255);   // (1, 1) spread two pixels up and left
  EXPECT_EQ(grown.at(0, 0), 0);
  EXPECT_EQ(grown.at(16, 9), 255);  // (12, 5) spread two pixels down and right
  EXPECT_EQ(grown.at(17, 10), 0);
}

}  // namespace
}  // namespace vle::analysis
