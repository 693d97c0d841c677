// The opacity estimate against the truth of synthetic broadcasts, through H.264 as recordings come.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "alpha_scene.h"

namespace vle::test {
namespace {

using broadcast::LogoPlace;
using broadcast::LogoStyle;

struct Case {
  const char* name;
  int width, height;
  LogoStyle style;
  LogoPlace place;
  // De-blended PSNR, dB, of the frame as broadcast, with the estimate made from the H.264 clip.
  double minPsnr;
};

class AlphaTruth : public ::testing::TestWithParam<Case> {};

// Samples far apart in a long recording, two of them in advertising breaks.
constexpr int kSamples = 48;
const std::vector<int> kBreaks = {10, 11, 12, 30};

analysis::Rect WithMargin(const analysis::Rect& r, int margin) {
  return analysis::Rect{r.left - margin, r.top - margin, r.width + 2 * margin, r.height + 2 * margin};
}

TEST_P(AlphaTruth, OpacityColorAndDeblendedPicture) {
  const Case& c = GetParam();
  const AlphaScene scene = MakeAlphaScene(c.width, c.height, c.style, c.place, kSamples, kBreaks);
  const std::string scratch = ::testing::TempDir();
  const auto decoded = H264RoundTrip(scene.frames, c.width, c.height, scratch, 16);
  ASSERT_FALSE(decoded.empty()) << "FFmpeg (with libx264) could not encode and decode the clip";

  analysis::AlphaEstimator estimator(c.width, c.height, WithMargin(scene.logo, std::max(2, c.height / 100)));
  for (const auto& f : decoded) estimator.Add(f.data(), c.width, c.height, 3 * c.width);
  const analysis::AlphaMatte m = estimator.Finish();
  ASSERT_TRUE(m.quality.trustworthy) << m.quality.verdict;
  // Every break sample is either judged without the logo or left out for its busy ring.
  EXPECT_LE(m.quality.framesUsed, kSamples - int(kBreaks.size()));
  EXPECT_GE(m.quality.framesNoLogo, 1);

  const AlphaFigures f = Judge(scene, m, scene.frames.back());
  SCOPED_TRACE(::testing::Message() << "frames used " << m.quality.framesUsed << ", without the logo "
                                    << m.quality.framesNoLogo << ", unusable " << m.quality.framesUnusable);
  EXPECT_LE(f.alphaMae, 0.03);
  EXPECT_LE(f.colorMae, 4.0);
  EXPECT_GE(f.deblendPsnr, c.minPsnr);

  int64_t visible = 0, opaque = 0;
  for (float a : scene.alpha) visible += a > analysis::kVisibleAlpha, opaque += a > analysis::kOpaqueAlpha;
  // The encoder spreads the logo's edges by a pixel or so.
  EXPECT_NEAR(double(m.quality.visiblePixels), double(visible), 0.15 * double(visible));
  EXPECT_NEAR(double(m.quality.opaquePixels), double(opaque), 0.1 * double(visible));
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, AlphaTruth,
    ::testing::Values(Case{"WhiteHalfSd", 720, 576, LogoStyle::kWhiteHalf, LogoPlace::kTopRight, 30},
                      Case{"GradientSd", 720, 576, LogoStyle::kGradient, LogoPlace::kBottomLeft, 24},
                      Case{"OpaqueSd", 720, 576, LogoStyle::kOpaque, LogoPlace::kTopLeft, 30},
                      Case{"WhiteHalfHd", 1920, 1080, LogoStyle::kWhiteHalf, LogoPlace::kTopCentre, 30},
                      Case{"GradientHd", 1920, 1080, LogoStyle::kGradient, LogoPlace::kTopRight, 26},
                      Case{"OpaqueHd", 1920, 1080, LogoStyle::kOpaque, LogoPlace::kBottomRight, 30}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Without encoding, the figures are those of the estimate alone: the de-blended picture reaches
// 35 dB wherever the logo leaves at least a fifth of the background.
TEST(AlphaTruthRaw, DeblendedPictureOfEveryStyle) {
  for (LogoStyle style : {LogoStyle::kWhiteHalf, LogoStyle::kGradient, LogoStyle::kOpaque}) {
    const AlphaScene scene = MakeAlphaScene(720, 576, style, LogoPlace::kTopRight, kSamples, kBreaks);
    analysis::AlphaEstimator estimator(720, 576, WithMargin(scene.logo, 5));
    for (const auto& f : scene.frames) estimator.Add(f.data(), 720, 576, 3 * 720);
    const analysis::AlphaMatte m = estimator.Finish();
    ASSERT_TRUE(m.quality.trustworthy) << m.quality.verdict;
    const AlphaFigures f = Judge(scene, m, scene.frames.back());
    EXPECT_LE(f.alphaMae, 0.01) << int(style);
    EXPECT_LE(f.colorMae, 2.0) << int(style);
    EXPECT_GE(f.deblendPsnr, 35.0) << int(style);
  }
}

// Most television is busy around its logo: here no frame's ring is smooth, yet the opacity of a
// logo running from 0.3 to 0.8 comes out close, and so does the mask a user would make of it.
struct BusyCase {
  const char* name;
  int crf;        // 0: the frames as made
  int breakFrom;  // the first of 20 frames without the logo
  // Of those, how many must be found to lack it. A break before the estimate has settled is
  // judged against a rough one, and busy frames are judged harder.
  int breakFound;
};

class AlphaBusyRing : public ::testing::TestWithParam<BusyCase> {};

constexpr int kBusyFrames = 200;

TEST_P(AlphaBusyRing, OpacityAndMaskOfASemiTransparentLogo) {
  const BusyCase& c = GetParam();
  std::vector<int> brk;  // an advertising break
  for (int n = c.breakFrom; n < c.breakFrom + 20; ++n) brk.push_back(n);
  const AlphaScene scene = MakeBusyAlphaScene(kBusyFrames, brk);
  std::vector<std::vector<uint8_t>> frames = scene.frames;
  if (c.crf > 0) {
    frames = H264RoundTrip(scene.frames, scene.width, scene.height, ::testing::TempDir(), c.crf);
    ASSERT_FALSE(frames.empty()) << "FFmpeg (with libx264) could not encode and decode the clip";
  }
  analysis::AlphaEstimator estimator(scene.width, scene.height, WithMargin(scene.logo, 5));
  for (const auto& f : frames) estimator.Add(f.data(), scene.width, scene.height, 3 * scene.width);
  const analysis::AlphaMatte m = estimator.Finish();
  const analysis::AlphaQuality& q = m.quality;
  SCOPED_TRACE(::testing::Message() << "frames used " << q.framesUsed << " counting as " << q.effectiveFrames
                                    << ", without the logo " << q.framesNoLogo << ", unusable " << q.framesUnusable);
  ASSERT_TRUE(q.trustworthy) << q.verdict;
  // The premise: busy rings, weighed down; yet every frame with the logo takes part.
  EXPECT_LT(q.effectiveFrames, 0.5 * double(q.framesUsed));
  EXPECT_EQ(q.framesUnusable, 0);
  EXPECT_GE(q.framesUsed, kBusyFrames - int(brk.size()));
  EXPECT_LE(q.framesUsed, kBusyFrames - c.breakFound);
  EXPECT_GE(q.framesNoLogo, c.breakFound);

  double error = 0;
  int64_t logoPixels = 0, both = 0, either = 0;
  for (int y = 0; y < scene.height; ++y) {
    for (int x = 0; x < scene.width; ++x) {
      const float a = scene.alpha[size_t(y) * size_t(scene.width) + size_t(x)], est = m.AlphaAt(x, y);
      if (a > 0) error += std::fabs(est - a), ++logoPixels;
      const bool truth = a >= 0.25f, masked = est >= 0.25f;
      both += truth && masked, either += truth || masked;
    }
  }
  EXPECT_LE(error / double(logoPixels), 0.05);
  EXPECT_GE(double(both) / double(either), 0.9);
}

INSTANTIATE_TEST_SUITE_P(Clips, AlphaBusyRing,
                         ::testing::Values(BusyCase{"AsMade", 0, 120, 18}, BusyCase{"H264", 16, 120, 18},
                                           BusyCase{"EarlyBreak", 0, 20, 14}),
                         [](const ::testing::TestParamInfo<BusyCase>& info) { return std::string(info.param.name); });

// A box that holds no logo, or a picture that never changes, gives no estimate to trust.
TEST(AlphaVerdict, NoLogoOrStillPictureIsNotTrusted) {
  broadcast::Scene bare;
  bare.width = 320, bare.height = 240, bare.layout = broadcast::Layout::kBgr24, bare.logo = false;
  const broadcast::SyntheticBroadcast b(bare);
  std::vector<uint8_t> frame(3 * 320 * 240);
  analysis::AlphaEstimator empty(320, 240, analysis::Rect{200, 20, 80, 40});
  analysis::AlphaEstimator still(320, 240, analysis::Rect{200, 20, 80, 40});
  std::vector<uint8_t> first(frame.size());
  b.RenderRgb(0, first.data());
  for (int n = 0; n < 40; ++n) {
    b.RenderRgb(n * 37, frame.data());
    empty.Add(frame.data(), 320, 240, 3 * 320);
    still.Add(first.data(), 320, 240, 3 * 320);
  }
  const analysis::AlphaMatte e = empty.Finish(), s = still.Finish();
  EXPECT_FALSE(e.quality.trustworthy);
  EXPECT_FALSE(e.quality.verdict.empty());
  EXPECT_FALSE(s.quality.trustworthy);
  EXPECT_FALSE(s.quality.verdict.empty());
}

// Frames enough in number, but so busy around the logo that together they weigh less than the
// fewest smooth ones the fit needs: not trusted, and the verdict says why.
TEST(AlphaVerdict, FewFramesOfABusyPictureAreNotTrusted) {
  const AlphaScene scene = MakeBusyAlphaScene(30);
  analysis::AlphaEstimator estimator(scene.width, scene.height, WithMargin(scene.logo, 5));
  for (const auto& f : scene.frames) estimator.Add(f.data(), scene.width, scene.height, 3 * scene.width);
  const analysis::AlphaMatte m = estimator.Finish();
  EXPECT_EQ(m.quality.framesUsed, 30);
  EXPECT_FALSE(m.quality.trustworthy);
  EXPECT_NE(m.quality.verdict.find("busy"), std::string::npos) << m.quality.verdict;
}

// A box against the frame's top has no ring there: the missing side is made from the others, and
// the estimate holds.
TEST(AlphaRing, BoxAgainstTheTopEdge) {
  const AlphaScene scene = MakeAlphaScene(720, 576, LogoStyle::kWhiteHalf, LogoPlace::kTopRight, kSamples);
  const analysis::Rect box{scene.logo.left - 4, 0, scene.logo.width + 8, scene.logo.bottom() + 4};
  analysis::AlphaEstimator estimator(720, 576, box);
  for (const auto& f : scene.frames) estimator.Add(f.data(), 720, 576, 3 * 720);
  const analysis::AlphaMatte m = estimator.Finish();
  ASSERT_TRUE(m.quality.trustworthy) << m.quality.verdict;
  EXPECT_LE(Judge(scene, m, scene.frames.back()).alphaMae, 0.03);
}

}  // namespace
}  // namespace vle::test
