// --find-logo on pictures that behave like television: overlays that are not the logo (a
// scoreboard with a running clock, captions that come and go, a live badge), damaged macroblocks,
// 50 and 59.94 fps, interlaced H.264 and MPEG-2, and pictures without any logo. Each synthetic
// case has its exact truth; the mask must cover the logo (IoU >= 0.9) or the run must say "no logo".
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "broadcast.h"
#include "tool_run.h"

namespace vle::test {
namespace {

using broadcast::LogoPlace;
using broadcast::LogoStyle;
using broadcast::Scene;
using broadcast::SyntheticBroadcast;

bool HaveFfmpeg() { return std::system("ffmpeg -hide_banner -loglevel quiet -version >/dev/null 2>&1") == 0; }

// The mask's IoU with the logo: its opaque pixels, or for a logo without any, its visible ones.
double MaskIou(const std::string& pgm, const SyntheticBroadcast& truth) {
  const std::string bytes = ReadFile(pgm);
  int w = 0, h = 0, maxval = 0, consumed = 0;
  if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &w, &h, &maxval, &consumed) != 3) return -1;
  if (w != truth.width() || h != truth.height() || bytes.size() != size_t(consumed) + 1 + size_t(w) * size_t(h))
    return -1;
  const uint8_t* mask = reinterpret_cast<const uint8_t*>(bytes.data()) + consumed + 1;
  std::vector<uint8_t> logo = truth.OpaqueMask();
  bool any = false;
  for (uint8_t v : logo) any = any || v;
  if (!any)
    for (size_t i = 0; i < logo.size(); ++i) logo[i] = truth.LogoAlpha()[i] > 0;
  int64_t both = 0, either = 0;
  for (size_t i = 0; i < logo.size(); ++i) both += logo[i] && mask[i], either += logo[i] || mask[i];
  return either > 0 ? double(both) / double(either) : 0;
}

struct TvCase {
  const char* name;
  Scene scene;
  int frames;
  const char* rate;
  const char* encoder;
};

void PrintTo(const TvCase& c, std::ostream* os) { *os << c.name; }

Scene Tv(int w, int h, LogoPlace place, LogoStyle style = LogoStyle::kPlate) {
  Scene s;
  s.width = w, s.height = h, s.place = place, s.style = style;
  return s;
}

constexpr const char* kH264 = "-c:v libx264 -preset veryfast -crf 20 -g 50";

class TvRun : public ::testing::Test {
 protected:
  ToolResult Find(const std::string& clip) {
    mkdir((dir_ / "config").c_str(), 0700);
    return RunTool(VLE_LOGO_EXTRACT,
                   {clip, "--find-logo", "--mask", dir_ / "m.pgm", "--report", dir_ / "r.json", "-o", dir_ / "l.bmp"},
                   {{"QUORSANA_STORE_IN_USERS_FOLDER", "1"}, {"XDG_CONFIG_HOME", dir_ / "config"}});
  }
  ScratchDir dir_;
};

class Television : public TvRun, public ::testing::WithParamInterface<TvCase> {};

TEST_P(Television, FindsTheLogoOrSaysThereIsNone) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const TvCase& c = GetParam();
  const std::string clip = dir_ / (std::string(c.name) + (std::string(c.encoder).find("mpeg2") != std::string::npos
                                                              ? ".ts"
                                                              : ".mp4"));
  ASSERT_TRUE(EncodeScene(c.scene, c.frames, c.rate, c.encoder, clip));
  const ToolResult r = Find(clip);
  if (!c.scene.logo) {
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("no logo"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(dir_ / "m.pgm"));
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_GE(MaskIou(dir_ / "m.pgm", SyntheticBroadcast(c.scene)), 0.9) << r.err;
}

Scene With(Scene s, void (*change)(Scene&)) {
  change(s);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Television,
    ::testing::Values(
        TvCase{"scoreboard_and_clock", With(Tv(960, 540, LogoPlace::kTopRight, LogoStyle::kOpaque),
                                            [](Scene& s) { s.scoreboard = true; }),
               250, "25", kH264},
        TvCase{"captions_and_live_badge", With(Tv(720, 576, LogoPlace::kTopLeft), [](Scene& s) {
                 s.captions = true, s.liveBadge = true;
               }), 300, "25", kH264},
        TvCase{"damaged_macroblocks", With(Tv(720, 576, LogoPlace::kTopRight), [](Scene& s) { s.damage = true; }),
               300, "25", kH264},
        TvCase{"studio_shots_50fps", With(Tv(640, 360, LogoPlace::kBottomRight, LogoStyle::kOpaque),
                                          [](Scene& s) { s.shotFrames = 100; }),
               500, "50", "-c:v libx264 -preset veryfast -crf 20 -g 100"},
        TvCase{"fps59_94", Tv(640, 360, LogoPlace::kTopLeft), 360, "60000/1001",
               "-c:v libx264 -preset veryfast -crf 20 -g 120"},
        TvCase{"interlaced_translucent", Tv(720, 576, LogoPlace::kTopRight, LogoStyle::kWhiteHalf), 250, "25",
               "-c:v libx264 -preset veryfast -crf 20 -g 50 -flags +ildct+ilme -x264-params tff=1"},
        TvCase{"mpeg2", Tv(720, 576, LogoPlace::kTopLeft), 250, "25", "-c:v mpeg2video -q:v 4 -g 12"},
        TvCase{"no_logo_captions", With(Tv(720, 576, LogoPlace::kTopLeft), [](Scene& s) {
                 s.logo = false, s.captions = true;
               }), 300, "25", kH264}),
    [](const auto& info) { return std::string(info.param.name); });

// Pictures without a logo that a careless finder takes for one: noise changes everywhere, a
// frozen picture never changes, the game of life changes in patches, and a fractal zoom keeps the
// lines through its centre while everything else moves.
struct NoLogoCase {
  const char* name;
  const char* source;  // an FFmpeg lavfi source
};

void PrintTo(const NoLogoCase& c, std::ostream* os) { *os << c.name; }

class NoLogo : public TvRun, public ::testing::WithParamInterface<NoLogoCase> {};

TEST_P(NoLogo, SaysNoLogoAndWritesNothing) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const std::string clip = dir_ / "clip.mp4";
  const std::string command = std::string("ffmpeg -v error -y -f lavfi -i '") + GetParam().source +
                              "' -frames:v 250 -c:v libx264 -preset veryfast -crf 20 -g 50 -pix_fmt yuv420p '" + clip +
                              "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const ToolResult r = Find(clip);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no logo"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(dir_ / "m.pgm"));
  EXPECT_FALSE(Exists(dir_ / "l.bmp"));
}

INSTANTIATE_TEST_SUITE_P(Pictures, NoLogo,
                         ::testing::Values(NoLogoCase{"noise", "nullsrc=s=352x288:r=25,geq=random(1)*255:128:128"},
                                           NoLogoCase{"frozen", "testsrc2=s=352x288:r=25,trim=end_frame=1,loop=250:1:0"},
                                           NoLogoCase{"life", "life=s=352x288:r=25:mold=10:ratio=0.3"},
                                           NoLogoCase{"fractal_zoom", "mandelbrot=s=352x288:r=25"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle::test
