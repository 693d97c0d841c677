// The synthetic broadcast keeps the promises the end-to-end tests build on: a picture that moves
// everywhere, a logo whose opaque parts never change and lie inside the default region, and host
// layouts that carry the same picture. Its distractors (studio shots, scoreboard, captions, badge,
// damage) are where their truth says, and broadcast-gen composites the logo over real frames exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
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
                  0, 0},
        SceneCase{"studio_glass_every_distractor",
                  With(MakeScene(320, 240, LogoPlace::kTopRight, LogoStyle::kGlass),
                       [](broadcast::Scene& s) {
                         s.shotFrames = 150, s.scoreboard = s.captions = s.liveBadge = s.damage = true;
                         s.liveBadgeFrom = 0, s.breaks = {{390, 420}};
                       }),
                  0.88, 0.115},
        SceneCase{"bottom_left_opaque_damage_captions",
                  With(MakeScene(320, 240, LogoPlace::kBottomLeft, LogoStyle::kOpaque),
                       [](broadcast::Scene& s) { s.damage = s.captions = true; }),
                  0.12, 0.88}),
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
                         half = alphas(LogoStyle::kWhiteHalf), gradient = alphas(LogoStyle::kGradient),
                         glass = alphas(LogoStyle::kGlass);
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
  // Glass: the parts alone, white, at glassAlpha (default 51 of 255: 0.2), as faint as 0.15 .. 0.3.
  EXPECT_EQ(glass[51], opaque[255]);
  EXPECT_EQ(glass[0] + glass[51], 200 * 150);
  for (int alpha : {38, 77}) {
    broadcast::Scene scene = MakeScene(200, 150, LogoPlace::kTopRight, LogoStyle::kGlass);
    scene.glassAlpha = alpha;
    const SyntheticBroadcast b(scene);
    int visible = 0, wrong = 0;
    for (size_t i = 0; i < b.LogoAlpha().size(); ++i) {
      if (b.LogoAlpha()[i] == 0) continue;
      ++visible;
      wrong += b.LogoAlpha()[i] != alpha || b.LogoRgb()[3 * i] != 255 || b.LogoRgb()[3 * i + 1] != 255 ||
               b.LogoRgb()[3 * i + 2] != 255;
    }
    EXPECT_EQ(visible, opaque[255]);
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(alpha / 255.0, 0.149);
    EXPECT_LE(alpha / 255.0, 0.302);
  }
  for (int alpha : {0, 256}) {
    broadcast::Scene scene = MakeScene(200, 150, LogoPlace::kTopLeft, LogoStyle::kGlass);
    scene.glassAlpha = alpha;
    EXPECT_THROW(SyntheticBroadcast{scene}, std::invalid_argument) << alpha;
  }
}

// ---- Distractors ----

using broadcast::Damage;
using broadcast::DamageKind;
using broadcast::PixelBox;

uint64_t Fnv(const uint8_t* bytes, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

bool Inside(const PixelBox& b, int x, int y) {
  return x >= b.left && x < b.left + b.width && y >= b.top && y < b.top + b.height;
}

bool Overlaps(const PixelBox& a, const PixelBox& b) {
  return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.left < b.left + b.width &&
         b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
}

std::vector<uint8_t> Frame(const SyntheticBroadcast& b, int64_t n) {
  std::vector<uint8_t> rgb(3 * size_t(b.width()) * size_t(b.height()));
  b.RenderRgb(n, rgb.data());
  return rgb;
}

// What the scene draws over a flat picture of `value`.
std::vector<uint8_t> OverFlat(const SyntheticBroadcast& b, int64_t n, uint8_t value) {
  std::vector<uint8_t> rgb(3 * size_t(b.width()) * size_t(b.height()), value);
  b.OverlayRgb(n, rgb.data());
  return rgb;
}

// Pixels that differ between two frames, inside `box` and outside it.
struct Differences {
  int64_t inside = 0, outside = 0;
};
Differences Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, const PixelBox& box) {
  Differences d;
  for (size_t i = 0; i < a.size() / 3; ++i) {
    const bool differs = a[3 * i] != b[3 * i] || a[3 * i + 1] != b[3 * i + 1] || a[3 * i + 2] != b[3 * i + 2];
    (Inside(box, int(i % size_t(w)), int(i / size_t(w))) ? d.inside : d.outside) += differs;
  }
  return d;
}

// Scenes without distractors render the frames they rendered before distractors existed: these
// pins were taken from that version (the frames broadcast-gen wrote were compared byte for byte).
TEST(Broadcast, ScenesWithoutDistractorsKeepTheirFrames) {
  struct Pin {
    broadcast::Scene scene;
    int frame;
    uint64_t rgb;
  };
  const Pin pins[] = {
      {MakeScene(720, 576, LogoPlace::kTopLeft), 59, 6183606602692623513ull},
      {MakeScene(161, 121, LogoPlace::kBottomRight, LogoStyle::kGradient), 299, 1989543963913967715ull},
      {With(MakeScene(1280, 720, LogoPlace::kTopRight),
            [](broadcast::Scene& s) { s.letterbox = 40, s.greyBox = true, s.breaks = {{5, 10}}; }),
       7, 1950587220076291356ull},
      {With(MakeScene(320, 240, LogoPlace::kBottomCentre, LogoStyle::kWhiteHalf),
            [](broadcast::Scene& s) { s.pillarbox = 30; }),
       49, 18137160331788182849ull},
      {With(MakeScene(200, 150, LogoPlace::kTopLeft, LogoStyle::kOpaque),
            [](broadcast::Scene& s) { s.logo = false, s.greyBox = true; }),
       39, 17410625588565334255ull},
  };
  for (const Pin& pin : pins) {
    const std::vector<uint8_t> rgb = Frame(SyntheticBroadcast(pin.scene), pin.frame);
    EXPECT_EQ(Fnv(rgb.data(), rgb.size()), pin.rgb) << pin.scene.width << "x" << pin.scene.height;
  }
  const SyntheticBroadcast yuy2(720, 576, Layout::kYuy2);
  std::vector<uint8_t> frame(yuy2.frameBytes());
  yuy2.Render(401, frame.data());
  EXPECT_EQ(Fnv(frame.data(), frame.size()), 7725983227429460116ull);
}

// An overlay is opaque inside its box, leaves every other pixel alone, and is shown when its truth
// says so.
struct OverlayCase {
  const char* name;
  broadcast::Scene scene;
  void (*off)(broadcast::Scene&);
  PixelBox (SyntheticBroadcast::*box)() const;
  bool (SyntheticBroadcast::*shown)(int64_t) const;
  double centreX, centreY;  // where the box's centre lies, in fractions of the frame
  std::vector<int> frames;  // some that show it and some that do not
};

void PrintTo(const OverlayCase& c, std::ostream* os) { *os << c.name; }

class BroadcastOverlays : public ::testing::TestWithParam<OverlayCase> {};

TEST_P(BroadcastOverlays, DrawOpaquelyInsideTheirBoxAndNowhereElse) {
  const OverlayCase& c = GetParam();
  const SyntheticBroadcast with(c.scene);
  broadcast::Scene bare = c.scene;
  c.off(bare);
  const SyntheticBroadcast without(bare);
  const int w = c.scene.width, h = c.scene.height;
  const PixelBox box = (with.*c.box)();
  ASSERT_GT(box.width * box.height, 0);
  EXPECT_NEAR((box.left + box.width / 2.0) / w, c.centreX, 0.03);
  EXPECT_NEAR((box.top + box.height / 2.0) / h, c.centreY, 0.03);
  EXPECT_FALSE(Overlaps(box, with.LogoBox()));
  EXPECT_FALSE(Overlaps(box, with.GreyBox()));
  EXPECT_TRUE(box.left >= c.scene.pillarbox && box.left + box.width <= w - c.scene.pillarbox &&
              box.top >= c.scene.letterbox && box.top + box.height <= h - c.scene.letterbox);
  int shown = 0, hidden = 0;
  for (int n : c.frames) {
    const Differences d = Compare(Frame(with, n), Frame(without, n), w, box);
    EXPECT_EQ(d.outside, 0) << "frame " << n;
    if (!(with.*c.shown)(n)) {
      ++hidden;
      EXPECT_EQ(d.inside, 0) << "frame " << n;
      continue;
    }
    ++shown;
    EXPECT_GT(d.inside, int64_t(box.width) * box.height / 2) << "frame " << n;
    // Opaque: over black and over white the box shows the same.
    const Differences flat = Compare(OverFlat(with, n, 0), OverFlat(with, n, 255), w, box);
    EXPECT_EQ(flat.inside, 0) << "frame " << n;
  }
  EXPECT_GT(shown, 0);
  EXPECT_GT(hidden, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BroadcastOverlays,
    ::testing::Values(
        OverlayCase{"scoreboard_beside_top_left_logo",
                    With(MakeScene(320, 240, LogoPlace::kTopLeft),
                         [](broadcast::Scene& s) { s.scoreboard = true, s.breaks = {{40, 60}}; }),
                    [](broadcast::Scene& s) { s.scoreboard = false; }, &SyntheticBroadcast::ScoreboardBox,
                    &SyntheticBroadcast::ScoreboardShown, 0.825, 0.07, {0, 30, 50, 130}},
        OverlayCase{"scoreboard_top_left_of_top_centre_logo_studio",
                    With(MakeScene(320, 240, LogoPlace::kTopCentre),
                         [](broadcast::Scene& s) { s.scoreboard = true, s.shotFrames = 100, s.breaks = {{90, 110}}; }),
                    [](broadcast::Scene& s) { s.scoreboard = false; }, &SyntheticBroadcast::ScoreboardBox,
                    &SyntheticBroadcast::ScoreboardShown, 0.175, 0.07, {0, 100, 130}},
        OverlayCase{"scoreboard_away_from_the_grey_box",
                    With(MakeScene(320, 240, LogoPlace::kBottomRight),
                         [](broadcast::Scene& s) { s.scoreboard = s.greyBox = true, s.breaks = {{0, 10}}; }),
                    [](broadcast::Scene& s) { s.scoreboard = false; }, &SyntheticBroadcast::ScoreboardBox,
                    &SyntheticBroadcast::ScoreboardShown, 0.825, 0.07, {5, 30}},
        OverlayCase{"captions_lower_third",
                    With(MakeScene(320, 240, LogoPlace::kTopRight), [](broadcast::Scene& s) { s.captions = true; }),
                    [](broadcast::Scene& s) { s.captions = false; }, &SyntheticBroadcast::CaptionBox,
                    &SyntheticBroadcast::CaptionShown, 0.5, 0.83, {10, 60, 199, 200, 360}},
        OverlayCase{"captions_above_a_bottom_logo_letterbox",
                    With(MakeScene(320, 240, LogoPlace::kBottomCentre),
                         [](broadcast::Scene& s) { s.captions = true, s.letterbox = 30; }),
                    [](broadcast::Scene& s) { s.captions = false; }, &SyntheticBroadcast::CaptionBox,
                    &SyntheticBroadcast::CaptionShown, 0.5, (30 + 0.73 * 180) / 240, {49, 50, 250}},
        OverlayCase{"live_badge_across_from_the_logo",
                    With(MakeScene(320, 240, LogoPlace::kTopLeft), [](broadcast::Scene& s) { s.liveBadge = true; }),
                    [](broadcast::Scene& s) { s.liveBadge = false; }, &SyntheticBroadcast::LiveBadgeBox,
                    &SyntheticBroadcast::LiveBadgeShown, 0.915, 0.935, {50, 99, 100, 400}},
        OverlayCase{"live_badge_among_every_overlay",
                    With(MakeScene(320, 240, LogoPlace::kTopRight),
                         [](broadcast::Scene& s) {
                           s.liveBadge = s.greyBox = s.scoreboard = s.captions = true;
                           s.liveBadgeFrom = 0, s.breaks = {{100, 120}};
                         }),
                    [](broadcast::Scene& s) { s.liveBadge = false; }, &SyntheticBroadcast::LiveBadgeBox,
                    &SyntheticBroadcast::LiveBadgeShown, 0.915, 0.935, {0, 110, 300}}),
    [](const auto& info) { return std::string(info.param.name); });

// The clock moves on every 25 frames, past the minute too, and nothing else of the scoreboard changes.
TEST(Broadcast, ScoreboardClockTicksEverySecondAndTheRestStays) {
  const SyntheticBroadcast b(With(MakeScene(720, 576, LogoPlace::kTopRight), [](broadcast::Scene& s) {
    s.scoreboard = true;
  }));
  const PixelBox board = b.ScoreboardBox(), clock = b.ScoreboardClockBox();
  ASSERT_GT(clock.width * clock.height, 0);
  EXPECT_TRUE(clock.left >= board.left && clock.left + clock.width <= board.left + board.width &&
              clock.top == board.top && clock.height == board.height);
  EXPECT_NEAR(double(board.width) / 720, 0.27, 0.02);
  EXPECT_NEAR(double(board.height) / 576, 0.06, 0.01);
  const std::vector<uint8_t> first = OverFlat(b, 0, 0);
  for (int second = 0; second < 70; ++second) {  // 20:07 .. 21:17
    const int n = 25 * second;
    const std::vector<uint8_t> start = OverFlat(b, n, 0), next = OverFlat(b, n + 25, 0);
    EXPECT_TRUE(start == OverFlat(b, n + 24, 0)) << "second " << second;
    const Differences tick = Compare(start, next, 720, clock);
    EXPECT_GT(tick.inside, 0) << "second " << second;
    EXPECT_EQ(tick.outside, 0) << "second " << second;
    EXPECT_EQ(Compare(first, next, 720, clock).outside, 0) << "second " << second;
  }
}

// Captions are shown for frames 50 .. 199 of every 300, with new text at each appearance.
TEST(Broadcast, CaptionsComeAndGoWithNewTextEachTime) {
  const SyntheticBroadcast b(With(MakeScene(720, 576, LogoPlace::kTopLeft), [](broadcast::Scene& s) {
    s.captions = true;
  }));
  for (int n = 0; n < 900; ++n) EXPECT_EQ(b.CaptionShown(n), n % 300 >= 50 && n % 300 < 200) << n;
  const PixelBox strip = b.CaptionBox();
  EXPECT_NEAR(double(strip.top) / 576, 0.78, 0.01);
  EXPECT_NEAR(double(strip.top + strip.height) / 576, 0.88, 0.01);
  const std::vector<uint8_t> a = OverFlat(b, 60, 0), c = OverFlat(b, 360, 0), d = OverFlat(b, 660, 0);
  EXPECT_TRUE(a == OverFlat(b, 199, 0));
  EXPECT_GT(Compare(a, c, 720, strip).inside, 0);
  EXPECT_GT(Compare(c, d, 720, strip).inside, 0);
  EXPECT_TRUE(OverFlat(b, 200, 0) == OverFlat(b, 0, 0));  // hidden: nothing over the picture
}

// Damage comes in runs of 5 .. 20 frames, three every 250, in whole macroblocks of the lower half
// clear of the logo, and does to its band what DamageAt says.
class BroadcastDamage : public ::testing::TestWithParam<SceneCase> {};

TEST_P(BroadcastDamage, FreezesOrSmearsItsBandAndNeverTheLogo) {
  broadcast::Scene scene = GetParam().scene;
  scene.damage = true;
  const SyntheticBroadcast b(scene);
  broadcast::Scene clean = scene;
  clean.damage = false;
  const SyntheticBroadcast undamaged(clean);
  const int w = scene.width, h = scene.height;
  struct Run {
    int begin, end;
    Damage damage;
  };
  std::vector<Run> runs;
  for (int n = 0; n < 750; ++n) {
    const Damage d = b.DamageAt(n);
    if (d.kind == DamageKind::kNone) continue;
    if (runs.empty() || runs.back().end != n) runs.push_back(Run{n, n, d});
    runs.back().end = n + 1;
    const PixelBox& r = runs.back().damage.box;
    EXPECT_TRUE(d.kind == runs.back().damage.kind && d.source == runs.back().damage.source && d.box.left == r.left &&
                d.box.top == r.top && d.box.width == r.width && d.box.height == r.height)
        << "frame " << n;
  }
  ASSERT_EQ(runs.size(), 9u);
  std::set<DamageKind> kinds;
  for (const Run& run : runs) {
    const PixelBox& box = run.damage.box;
    kinds.insert(run.damage.kind);
    EXPECT_GE(run.end - run.begin, 5);
    EXPECT_LE(run.end - run.begin, 20);
    EXPECT_EQ(run.damage.source, run.begin - 1);
    EXPECT_EQ(b.DamageAt(run.begin - 1).kind, DamageKind::kNone);
    EXPECT_TRUE(box.left % 16 == 0 && box.top % 16 == 0 && box.width % 16 == 0 && box.height % 16 == 0);
    EXPECT_TRUE(box.width > 0 && box.height > 0 && box.left + box.width <= w && box.top + box.height <= h);
    EXPECT_GE(box.top, h / 2);
    EXPECT_FALSE(Overlaps(box, b.LogoBox())) << "frame " << run.begin;
    const std::vector<uint8_t> source = Frame(undamaged, run.damage.source);
    for (int n : {run.begin, run.end - 1}) {
      const std::vector<uint8_t> seen = Frame(b, n), plain = Frame(undamaged, n);
      int64_t wrong = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const size_t i = 3 * (size_t(y) * size_t(w) + size_t(x)), top = 3 * (size_t(box.top) * size_t(w) + size_t(x));
          const uint8_t* expected = !Inside(box, x, y)                       ? &plain[i]
                                    : run.damage.kind == DamageKind::kFreeze ? &source[i]
                                    : run.damage.kind == DamageKind::kSmear  ? &plain[top]
                                                                             : &source[top];
          wrong += seen[i] != expected[0] || seen[i + 1] != expected[1] || seen[i + 2] != expected[2];
        }
      }
      EXPECT_EQ(wrong, 0) << "frame " << n;
    }
  }
  EXPECT_EQ(kinds.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BroadcastDamage,
    ::testing::Values(SceneCase{"sd_bottom_left_studio",
                                With(MakeScene(720, 576, LogoPlace::kBottomLeft),
                                     [](broadcast::Scene& s) { s.shotFrames = 120; }),
                                0, 0},
                      SceneCase{"sd_bottom_right", MakeScene(720, 576, LogoPlace::kBottomRight), 0, 0},
                      SceneCase{"qvga_bottom_centre_captions",
                                With(MakeScene(320, 240, LogoPlace::kBottomCentre),
                                     [](broadcast::Scene& s) { s.captions = true; }),
                                0, 0},
                      SceneCase{"hd720_top_left", MakeScene(1280, 720, LogoPlace::kTopLeft), 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Within a shot only the person in the middle moves; at every cut the whole studio changes.
TEST(Broadcast, StudioShotsHoldStillWithinAShotAndChangeAtCuts) {
  const int w = 480, h = 270;
  const SyntheticBroadcast b(With(MakeScene(w, h, LogoPlace::kTopRight, LogoStyle::kOpaque),
                                  [](broadcast::Scene& s) { s.shotFrames = 100; }));
  const PixelBox mover = b.StudioMoverBox();
  ASSERT_GT(mover.width * mover.height, 0);
  EXPECT_FALSE(Overlaps(mover, b.LogoBox()));
  std::vector<uint8_t> last;
  for (int shot = 0; shot < 5; ++shot) {
    const int first = 100 * shot;
    EXPECT_EQ(b.Shot(first), shot);
    EXPECT_EQ(b.Shot(first + 99), shot);
    const std::vector<uint8_t> start = Frame(b, first), middle = Frame(b, first + 37), end = Frame(b, first + 99);
    const Differences moved = Compare(start, middle, w, mover);
    EXPECT_EQ(moved.outside, 0) << "shot " << shot;
    EXPECT_GT(moved.inside, 0) << "shot " << shot;
    EXPECT_EQ(Compare(start, end, w, mover).outside, 0) << "shot " << shot;
    if (!last.empty()) {
      const Differences cut = Compare(last, start, w, mover);
      EXPECT_GT(cut.outside, int64_t(w) * h / 2) << "cut before shot " << shot;
    }
    last = end;
  }
}

// Over real pictures: a flat grey frame comes back with the logo blended in by its exact alpha,
// through the library and through broadcast-gen --overlay-logo; a frame in a break comes back as
// it went in, and a frame cut short is refused.
TEST(Broadcast, OverlayBlendsTheLogoExactly) {
  const int w = 176, h = 144;
  const SyntheticBroadcast b(MakeScene(w, h, LogoPlace::kTopRight));
  const std::vector<uint8_t>& alpha = b.LogoAlpha();
  const std::vector<uint8_t>& color = b.LogoRgb();
  const std::vector<uint8_t> grey(3 * size_t(w) * size_t(h), 100);
  std::vector<uint8_t> expected = grey;
  int blended = 0;
  for (size_t i = 0; i < alpha.size(); ++i) {
    blended += alpha[i] != 0;
    for (int k = 0; k < 3; ++k) {
      expected[3 * i + k] = uint8_t((alpha[i] * color[3 * i + k] + (255 - alpha[i]) * 100 + 127) / 255);
    }
  }
  ASSERT_GT(blended, 0);
  EXPECT_TRUE(OverFlat(b, 5, 100) == expected);

  ScratchDir dir;
  const std::string frame(grey.begin(), grey.end());
  WriteFile(dir / "in.rgb", frame + frame + frame);
  std::vector<std::string> run = {"--overlay-logo", "--size", "176x144", "--place", "top-right", "--break", "1-1"};
  run.insert(run.end(), {"--output", dir / "out.rgb"});
  ToolResult r = RunTool(VLE_BROADCAST_GEN, run, {}, dir / "in.rgb");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string out = ReadFile(dir / "out.rgb");
  ASSERT_EQ(out.size(), 3 * frame.size());
  const std::string want(expected.begin(), expected.end());
  EXPECT_TRUE(out.substr(0, frame.size()) == want);
  EXPECT_TRUE(out.substr(frame.size(), frame.size()) == frame);  // the break
  EXPECT_TRUE(out.substr(2 * frame.size()) == want);

  WriteFile(dir / "short.rgb", frame + frame.substr(0, 10));
  r = RunTool(VLE_BROADCAST_GEN, run, {}, dir / "short.rgb");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("inside frame 1"), std::string::npos) << r.err;
}

// broadcast-gen scores a mask against the truth of the same flags (a logo without opaque pixels by
// its visible ones), and --boxes says where the logo, the overlays and the damage are.
TEST(Broadcast, GenScoresMasksAndListsTheTruth) {
  ScratchDir dir;
  const std::vector<std::string> scene = {"--size", "320x240", "--place", "top-right", "--style", "glass",
                                          "--scoreboard", "--captions", "--live-badge", "--damage"};
  auto gen = [&](std::vector<std::string> more) {
    more.insert(more.begin(), scene.begin(), scene.end());
    return RunTool(VLE_BROADCAST_GEN, more);
  };
  ToolResult r = gen({"--frames", "0", "--alpha", dir / "alpha.pgm"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = gen({"--frames", "250", "--output", dir / "frames.rgb", "--iou", dir / "alpha.pgm", "--boxes",
           dir / "boxes.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  broadcast::Scene s = MakeScene(320, 240, LogoPlace::kTopRight, LogoStyle::kGlass);
  s.scoreboard = s.captions = s.liveBadge = s.damage = true;
  const SyntheticBroadcast b(s);
  auto box = [](const char* name, const PixelBox& p) {
    return std::string(name) + " " + std::to_string(p.left) + " " + std::to_string(p.top) + " " +
           std::to_string(p.width) + " " + std::to_string(p.height);
  };
  const PixelBox logo = b.LogoBox();
  EXPECT_EQ(r.out, "iou 1.0000 logo box " + std::to_string(logo.left) + "," + std::to_string(logo.top) + " " +
                       std::to_string(logo.width) + "x" + std::to_string(logo.height) + " truth visible\n");
  std::string want = box("logo", logo) + "\n" + box("scoreboard", b.ScoreboardBox()) + "\n" +
                     box("clock", b.ScoreboardClockBox()) + "\n" + box("captions", b.CaptionBox()) +
                     " shown 50-199/300\n" + box("live-badge", b.LiveBadgeBox()) + " from 100\n";
  for (int n = 0; n < 250; ++n) {
    const Damage d = b.DamageAt(n);
    if (d.kind == DamageKind::kNone || b.DamageAt(n - 1).kind != DamageKind::kNone) continue;
    int end = n;
    while (b.DamageAt(end).kind != DamageKind::kNone) ++end;
    const char* kind = d.kind == DamageKind::kFreeze  ? "freeze"
                       : d.kind == DamageKind::kSmear ? "smear"
                                                      : "freeze-smear";
    want += "damage " + std::to_string(n) + "-" + std::to_string(end - 1) + " " + kind +
            box("", d.box) + " source " + std::to_string(d.source) + "\n";
  }
  EXPECT_EQ(ReadFile(dir / "boxes.txt"), want);
  // The frames written are the library's.
  const std::string frames = ReadFile(dir / "frames.rgb");
  ASSERT_EQ(frames.size(), 250u * 3 * 320 * 240);
  for (int n : {0, 137, 249}) {
    const std::vector<uint8_t> rgb = Frame(b, n);
    EXPECT_TRUE(frames.compare(size_t(n) * rgb.size(), rgb.size(), std::string(rgb.begin(), rgb.end())) == 0) << n;
  }
}

}  // namespace
}  // namespace vle::test
