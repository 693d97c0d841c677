// logo-extract finding the logo, sampling, and the outputs other tools read, on synthetic
// broadcasts with exact truth, encoded to H.264 by FFmpeg here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "broadcast.h"
#include "tool_run.h"

namespace vle::test {
namespace {

using broadcast::Layout;
using broadcast::LogoPlace;
using broadcast::Scene;
using broadcast::SyntheticBroadcast;

bool HaveFfmpeg() { return std::system("ffmpeg -hide_banner -loglevel quiet -version >/dev/null 2>&1") == 0; }

// Encodes `frames` frames of the scene with FFmpeg (H.264, a key frame every `gop` frames, `rate`
// frames a second as FFmpeg writes a rate: "25", "60000/1001").
bool Encode(const Scene& scene, int frames, int gop, const std::string& path, const std::string& rate = "25") {
  const std::string g = std::to_string(gop);
  return EncodeScene(scene, frames, rate, "-c:v libx264 -preset ultrafast -g " + g + " -keyint_min " + g +
                     " -sc_threshold 0", path);
}

// An 8-bit grey mask from a PGM or PNG file; width 0 when unreadable.
struct Mask {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

Mask ReadMask(const std::string& path) {
  Mask m;
  const std::string bytes = ReadFile(path);
  if (bytes.rfind("P5", 0) == 0) {
    int maxval = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &m.width, &m.height, &maxval, &consumed) != 3 || maxval != 255)
      return Mask{};
    m.pixels.assign(bytes.begin() + consumed + 1, bytes.end());
  } else {
    const Png png = ReadPng(path);
    m.width = png.width, m.height = png.height;
    for (size_t i = 0; i < png.rgb.size(); i += 3) {
      if (png.rgb[i] != png.rgb[i + 1] || png.rgb[i] != png.rgb[i + 2]) return Mask{};  // not grey
      m.pixels.push_back(png.rgb[i]);
    }
  }
  if (m.pixels.size() != size_t(m.width) * size_t(m.height)) return Mask{};
  return m;
}

// A number the report gives for `key` (the first such key), NaN when it has none.
double ReportNumber(const std::string& report, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(report, m, std::regex("\"" + key + "\": \\[?(-?[0-9.]+)"))) return std::nan("");
  return std::stod(m[1]);
}

// The report's find_logo candidates in their order; `entries` counts every "box_px" in the
// report, so that an entry the pattern cannot read (a badly escaped phrase) shows up.
struct ReportedCandidate {
  int x, y, w, h;
  double score;
  bool qualifies;
};

std::vector<ReportedCandidate> Candidates(const std::string& report, size_t* entries) {
  std::vector<ReportedCandidate> out;
  const std::regex entry(
      "\\{\"box_px\": \\[(-?[0-9]+), (-?[0-9]+), (-?[0-9]+), (-?[0-9]+)\\], \"score\": ([0-9.]+), "
      "\"qualifies\": (true|false), \"why\": \"(?:[^\"\\\\\\x00-\\x1f]|\\\\[\"\\\\/bfnrtu])*\"\\}");
  for (auto it = std::sregex_iterator(report.begin(), report.end(), entry); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    out.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stod(m[5]),
                   m[6] == "true"});
  }
  *entries = 0;
  for (size_t at = report.find("\"box_px\""); at != std::string::npos; at = report.find("\"box_px\"", at + 1))
    ++*entries;
  return out;
}

class FindLogo : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir((dir_ / "config").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ / "config/Quorsana").c_str(), 0700), 0);
  }
  ToolResult Extract(const std::vector<std::string>& args) {
    return RunTool(VLE_LOGO_EXTRACT, args,
                   {{"QUORSANA_STORE_IN_USERS_FOLDER", "1"}, {"XDG_CONFIG_HOME", dir_ / "config"}});
  }
  ScratchDir dir_;
};

// ---- The synthetic set: each logo found, its mask against the truth ----

struct SceneCase {
  const char* name;
  Scene scene;
  const char* maskName;  // .png or .pgm
};

void PrintTo(const SceneCase& c, std::ostream* os) { *os << c.name; }

Scene MakeScene(int w, int h, LogoPlace place) {
  Scene s;
  s.width = w, s.height = h, s.place = place;
  return s;
}

class FindLogoScenes : public FindLogo, public ::testing::WithParamInterface<SceneCase> {};

TEST_P(FindLogoScenes, FindsTheLogoAndWritesItsMaskBoxAndReport) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const SceneCase& c = GetParam();
  const Scene& scene = c.scene;
  const std::string clip = dir_ / "clip.mp4";
  ASSERT_TRUE(Encode(scene, 150, 50, clip));
  const ToolResult r = Extract({clip, "--find-logo", "--mask", dir_ / c.maskName, "--delogo", "--report",
                                dir_ / "report.json", "-o", dir_ / "logo.bmp"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const SyntheticBroadcast truth(scene);
  const broadcast::PixelBox logo = truth.LogoBox();
  // "logo found at X,Y,W,H %: x X, y Y, W × H px", the region holding the whole logo.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.err, m,
                                std::regex("logo found at ([0-9.]+),([0-9.]+),([0-9.]+),([0-9.]+) %: x ([0-9]+), "
                                           "y ([0-9]+), ([0-9]+) \xC3\x97 ([0-9]+) px")))
      << r.err;
  const int rx = std::stoi(m[5]), ry = std::stoi(m[6]), rw = std::stoi(m[7]), rh = std::stoi(m[8]);
  const std::string percent = "[" + std::string(m[1]) + ", " + std::string(m[2]) + ", " + std::string(m[3]) + ", " +
                              std::string(m[4]) + "]";
  const std::vector<uint8_t> opaque = truth.OpaqueMask();
  int ox0 = scene.width, oy0 = scene.height, ox1 = 0, oy1 = 0;
  for (int y = 0; y < scene.height; ++y)
    for (int x = 0; x < scene.width; ++x)
      if (opaque[size_t(y) * size_t(scene.width) + size_t(x)]) {
        ox0 = std::min(ox0, x), oy0 = std::min(oy0, y), ox1 = std::max(ox1, x + 1), oy1 = std::max(oy1, y + 1);
      }
  EXPECT_LE(rx, ox0);
  EXPECT_LE(ry, oy0);
  EXPECT_GE(rx + rw, ox1);
  EXPECT_GE(ry + rh, oy1);
  // A small margin: the region is not much bigger than the logo's box.
  EXPECT_LT(rw * rh, 2 * logo.width * logo.height);

  // The mask at the video's size against the logo's opaque pixels.
  const Mask mask = ReadMask(dir_ / c.maskName);
  ASSERT_EQ(mask.width, scene.width);
  ASSERT_EQ(mask.height, scene.height);
  int64_t both = 0, either = 0, other = 0;
  for (size_t i = 0; i < mask.pixels.size(); ++i) {
    other += mask.pixels[i] != 0 && mask.pixels[i] != 255;
    both += mask.pixels[i] && opaque[i];
    either += mask.pixels[i] || opaque[i];
  }
  EXPECT_EQ(other, 0);
  const double iou = double(both) / double(either);
  std::printf("%s: mask IoU with the logo's opaque pixels %.4f\n", c.name, iou);
  EXPECT_GE(iou, 0.95);

  // delogo's box holds the logo, one pixel inside the frame.
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("^delogo=x=([0-9]+):y=([0-9]+):w=([0-9]+):h=([0-9]+)\n$")))
      << r.out;
  const int dx = std::stoi(m[1]), dy = std::stoi(m[2]), dw = std::stoi(m[3]), dh = std::stoi(m[4]);
  EXPECT_TRUE(dx >= 1 && dy >= 1 && dx + dw <= scene.width - 1 && dy + dh <= scene.height - 1);
  EXPECT_TRUE(dx <= ox0 + 1 && dy <= oy0 + 1 && dx + dw >= ox1 - 1 && dy + dh >= oy1 - 1);

  const std::string report = ReadFile(dir_ / "report.json");
  EXPECT_NE(report.find("\"region_percent\": " + percent), std::string::npos) << report;
  EXPECT_NE(report.find("\"logo_box_px\": [" + std::to_string(dx)), std::string::npos) << report;
  // Frames left out for lacking the logo are the advertising breaks' frames.
  int64_t breakFrames = 0;
  for (const auto& b : scene.breaks) breakFrames += b.end - b.begin;
  EXPECT_NE(report.find("\"frames_decoded\": 150,"), std::string::npos) << report;
  EXPECT_NE(report.find("\"frames_without_logo\": " + std::to_string(breakFrames) + ","), std::string::npos)
      << report;
  for (const char* key : {"\"frames_captured\": ", "\"stable_after\": ", "\"seconds\": ", "\"threshold\": 50"})
    EXPECT_NE(report.find(key), std::string::npos) << key;

  // The places considered, best first, at the video's size inside the frame; the first is the logo.
  ASSERT_NE(report.find("\"candidates\": ["), std::string::npos) << report;
  size_t entries = 0;
  const std::vector<ReportedCandidate> candidates = Candidates(report, &entries);
  ASSERT_FALSE(candidates.empty()) << report;
  EXPECT_EQ(candidates.size(), entries) << report;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const ReportedCandidate& k = candidates[i];
    EXPECT_TRUE(k.x >= 0 && k.y >= 0 && k.w > 0 && k.h > 0 && k.x + k.w <= scene.width && k.y + k.h <= scene.height)
        << "candidate " << i << ": " << k.x << ", " << k.y << ", " << k.w << ", " << k.h;
    // Best first: those that qualify for a logo, then the others, each by score.
    if (i > 0) {
      const ReportedCandidate& before = candidates[i - 1];
      EXPECT_TRUE(before.qualifies || !k.qualifies) << "candidate " << i;
      if (before.qualifies == k.qualifies) {
        EXPECT_LE(k.score, before.score) << "candidate " << i;
      }
    }
  }
  const ReportedCandidate& best = candidates.front();
  EXPECT_TRUE(best.qualifies);
  const int cx = (ox0 + ox1) / 2, cy = (oy0 + oy1) / 2;
  EXPECT_TRUE(cx >= best.x && cx < best.x + best.w && cy >= best.y && cy < best.y + best.h)
      << best.x << ", " << best.y << ", " << best.w << ", " << best.h;
}

Scene Letterboxed() {
  Scene s = MakeScene(720, 576, LogoPlace::kTopRight);
  s.letterbox = 72;
  return s;
}
Scene Pillarboxed() {
  Scene s = MakeScene(720, 576, LogoPlace::kBottomLeft);
  s.pillarbox = 90;
  return s;
}
Scene WithBreaksAndGreyBox() {
  Scene s = MakeScene(720, 576, LogoPlace::kBottomRight);
  s.greyBox = true;
  s.breaks = {{30, 51}, {100, 121}};
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Set, FindLogoScenes,
    ::testing::Values(SceneCase{"sd_top_left", MakeScene(720, 576, LogoPlace::kTopLeft), "mask.png"},
                      SceneCase{"sd_top_right_letterbox", Letterboxed(), "mask.pgm"},
                      SceneCase{"sd_bottom_left_pillarbox", Pillarboxed(), "mask.png"},
                      SceneCase{"sd_bottom_right_breaks_grey_box", WithBreaksAndGreyBox(), "mask.pgm"},
                      SceneCase{"hd720_top_centre", MakeScene(1280, 720, LogoPlace::kTopCentre), "mask.png"},
                      SceneCase{"hd1080_bottom_centre", MakeScene(1920, 1080, LogoPlace::kBottomCentre), "mask.pgm"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- No logo: a grey box is not one; one line, non-zero exit, nothing written ----

TEST_F(FindLogo, ARecordingWithoutALogoWritesNothing) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  Scene scene = MakeScene(720, 576, LogoPlace::kTopLeft);
  scene.logo = false;
  scene.greyBox = true;
  ASSERT_TRUE(Encode(scene, 100, 50, dir_ / "clip.mp4"));
  const auto before = dir_.Entries();
  const ToolResult r = Extract({dir_ / "clip.mp4", "--find-logo", "--mask", dir_ / "mask.png", "--report",
                                dir_ / "report.json", "-o", dir_ / "logo.bmp", "--delogo"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("no logo"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(dir_.Entries(), before);
}

// ---- FFmpeg's removelogo and delogo take the outputs and change the logo's area ----

TEST_F(FindLogo, FfmpegFiltersTakeTheMaskAndTheBox) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const Scene scene = MakeScene(720, 576, LogoPlace::kTopRight);
  ASSERT_TRUE(Encode(scene, 100, 50, dir_ / "clip.mp4"));
  const ToolResult r = Extract({dir_ / "clip.mp4", "--find-logo", "--mask", dir_ / "mask.png", "--delogo", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string delogo = r.out;
  ASSERT_FALSE(delogo.empty());
  delogo.pop_back();  // the newline
  auto frame = [&](const std::string& filter, const std::string& name) {
    std::vector<std::string> args = {"-v", "error", "-y", "-i", dir_ / "clip.mp4"};
    if (!filter.empty()) args.insert(args.end(), {"-vf", filter});
    args.insert(args.end(), {"-ss", "2", "-frames:v", "1", dir_ / name});
    std::string command = "ffmpeg";
    for (const std::string& a : args) command += " '" + a + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadPng(dir_ / name);
  };
  const Png original = frame("", "original.png");
  const Png removed = frame("removelogo=" + dir_ / "mask.png", "removelogo.png");
  const Png delogoed = frame(delogo, "delogo.png");
  ASSERT_EQ(original.width, 720);
  const std::vector<uint8_t> opaque = SyntheticBroadcast(scene).OpaqueMask();
  for (const Png* cleaned : {&removed, &delogoed}) {
    ASSERT_EQ(cleaned->width, 720);
    ASSERT_EQ(cleaned->height, 576);
    // The logo's pixels change a lot; the bottom half of the picture, far from it, not at all.
    int64_t logoDiff = 0, logoPixels = 0, farDiff = 0;
    for (size_t i = 0; i < opaque.size(); ++i) {
      const int d = std::abs(cleaned->rgb[3 * i] - original.rgb[3 * i]) +
                    std::abs(cleaned->rgb[3 * i + 1] - original.rgb[3 * i + 1]) +
                    std::abs(cleaned->rgb[3 * i + 2] - original.rgb[3 * i + 2]);
      if (opaque[i]) logoDiff += d, ++logoPixels;
      if (i >= opaque.size() / 2) farDiff += d;
    }
    EXPECT_GT(double(logoDiff) / double(logoPixels), 60.0);
    EXPECT_EQ(farDiff, 0);
  }
}

// ---- Sampling: which frames feed the capture ----

struct SampleCase {
  const char* name;
  std::vector<std::string> args;
  int64_t decoded;  // frames handed out; -1: the run fails
  const char* message = "";
};

void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }

class Sampling : public FindLogo, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(Sampling, FeedsTheFramesItNames) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const SampleCase& c = GetParam();
  // 300 frames (12 s), a key frame every 5 (0.2 s): 60 key frames.
  ASSERT_TRUE(Encode(MakeScene(320, 240, LogoPlace::kTopLeft), 300, 5, dir_ / "clip.ts"));
  std::vector<std::string> args = {"--report", dir_ / "report.json", "--pixel-format", "bgr24"};
  for (const std::string& a : c.args) args.push_back(a == "@" ? dir_ / "clip.ts" : a);
  const ToolResult r = c.args.back() == "-" ? RunTool(VLE_LOGO_EXTRACT, args, {{"QUORSANA_STORE_IN_USERS_FOLDER", "1"},
                                                                            {"XDG_CONFIG_HOME", dir_ / "config"}},
                                                      dir_ / "clip.ts")
                                            : Extract(args);
  if (c.decoded < 0) {
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = ReadFile(dir_ / "report.json");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(report, m, std::regex("\"frames_decoded\": ([0-9]+)"))) << report;
  EXPECT_NEAR(std::stoll(m[1]), c.decoded, 1) << report;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Sampling,
    ::testing::Values(SampleCase{"all", {"@"}, 300},
                      SampleCase{"keyframes", {"@", "--sample", "keyframes"}, 60},
                      SampleCase{"every_0_4_seconds", {"@", "--sample", "every:0.4"}, 30},
                      SampleCase{"keyframes_found_logo", {"@", "--sample", "keyframes", "--find-logo"}, 60},
                      SampleCase{"keyframes_from_stdin", {"--sample", "keyframes", "-"}, 60},
                      SampleCase{"every_from_stdin_cannot_seek", {"--sample", "every:1", "-"}, -1, "cannot seek"},
                      SampleCase{"demo_every_0_2_seconds", {"--demo", "--frames", "300", "--sample", "every:0.2"}, 60}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A sampled run captures every sample: the host lets the plug-in settle on copies ----

struct SettleCase {
  const char* name;
  std::vector<std::string> args;
  int64_t decoded, captured;
};

void PrintTo(const SettleCase& c, std::ostream* os) { *os << c.name; }

class Settling : public FindLogo, public ::testing::WithParamInterface<SettleCase> {};

TEST_P(Settling, CountsWritesAndCapturesOnlyTheRealFrames) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const SettleCase& c = GetParam();
  // 30 s, a key frame every 2 s: 15 key frames.
  ASSERT_TRUE(Encode(MakeScene(320, 240, LogoPlace::kTopLeft), 750, 50, dir_ / "clip.mp4"));
  std::vector<std::string> args = {dir_ / "clip.mp4", "--report", dir_ / "report.json", "--output-frames",
                                   dir_ / "frames.raw", "--pixel-format", "bgr24", "-q"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ToolResult r = Extract(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = ReadFile(dir_ / "report.json");
  EXPECT_EQ(ReportNumber(report, "frames_decoded"), c.decoded) << report;
  EXPECT_EQ(ReportNumber(report, "frames_captured"), c.captured) << report;
  // The settling copies are not processed frames: the file holds the frames counted, no more.
  EXPECT_EQ(ReadFile(dir_ / "frames.raw").size(), size_t(c.decoded) * 320 * 240 * 3);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Settling,
    ::testing::Values(SettleCase{"keyframes", {"--sample", "keyframes"}, 15, 15},
                      SettleCase{"keyframes_found_logo", {"--sample", "keyframes", "--find-logo"}, 15, 15},
                      SettleCase{"every_5_seconds", {"--sample", "every:5"}, 6, 6},
                      SettleCase{"a_single_sample", {"--sample", "every:100"}, 1, 1},
                      // Read whole, the recording's own first 25 frames settle the plug-in.
                      SettleCase{"all_frames", {"--sample", "all"}, 750, 725}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The finder's samples follow the stream's frame rate and reach over the whole recording ----

struct RateCase {
  const char* name;
  const char* rate;  // as FFmpeg takes it
  double fps;
  int frames, gop;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class FrameRate : public FindLogo, public ::testing::WithParamInterface<RateCase> {};

TEST_P(FrameRate, SamplesSpreadOverTheWholeRecording) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const RateCase& c = GetParam();
  ASSERT_TRUE(Encode(MakeScene(320, 240, LogoPlace::kTopLeft), c.frames, c.gop, dir_ / "clip.mp4", c.rate));
  const ToolResult r = Extract({dir_ / "clip.mp4", "--find-logo", "--sample", "keyframes", "--report",
                                dir_ / "report.json", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = ReadFile(dir_ / "report.json");
  const double seconds = c.frames / c.fps;
  EXPECT_NEAR(ReportNumber(report, "frame_rate"), c.fps, 0.01) << report;
  EXPECT_NEAR(ReportNumber(report, "duration_seconds"), seconds, 0.1) << report;
  const size_t find = report.find("\"find_logo\": {");
  ASSERT_NE(find, std::string::npos) << report;
  const std::string section = report.substr(find);
  const double samples = ReportNumber(section, "samples");
  EXPECT_GE(samples, 48) << section;
  EXPECT_LE(samples, 96) << section;
  // From the start to the end, not the first half or the first minutes.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(section, m, std::regex("\"sampled_seconds\": \\[([0-9.]+), ([0-9.]+)\\]")))
      << section;
  EXPECT_LT(std::stod(m[1]), 0.5);
  EXPECT_GT(std::stod(m[2]), seconds - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameRate,
    ::testing::Values(
        // A key frame every 0.2 s: seeking finds enough of them.
        RateCase{"fps50_dense_key_frames", "50", 50, 600, 10},
        // 12 s with a key frame every 2.5 s: every nth frame decoded instead.
        RateCase{"fps59_94_rare_key_frames", "60000/1001", 60000.0 / 1001, 720, 150},
        RateCase{"fps25_ten_seconds", "25", 25, 250, 62}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- --logo-in: where the logo is looked for ----

struct LogoInCase {
  const char* name;
  std::vector<std::string> args;
  bool found;
  const char* regionPercent = nullptr;  // the report's region_percent, when it is given
};

void PrintTo(const LogoInCase& c, std::ostream* os) { *os << c.name; }

class LogoIn : public FindLogo, public ::testing::WithParamInterface<LogoInCase> {};

TEST_P(LogoIn, LooksOnlyInsideTheArea) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  const LogoInCase& c = GetParam();
  const Scene scene = MakeScene(720, 576, LogoPlace::kTopRight);
  ASSERT_TRUE(Encode(scene, 100, 50, dir_ / "clip.mp4"));
  std::vector<std::string> args = {dir_ / "clip.mp4", "--find-logo", "--report", dir_ / "report.json"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ToolResult r = Extract(args);
  if (!c.found) {
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("no logo"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(Exists(dir_ / "report.json"));
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = ReadFile(dir_ / "report.json");
  if (c.regionPercent != nullptr) {
    EXPECT_NE(report.find(std::string("\"region_percent\": ") + c.regionPercent), std::string::npos) << report;
  }
  // The area is the right half of the top half; every place considered lies inside it.
  size_t entries = 0;
  const std::vector<ReportedCandidate> candidates = Candidates(report, &entries);
  ASSERT_FALSE(candidates.empty()) << report;
  for (const ReportedCandidate& k : candidates) {
    EXPECT_TRUE(k.x >= 360 && k.y >= 0 && k.x + k.w <= 720 && k.y + k.h <= 288)
        << k.x << ", " << k.y << ", " << k.w << ", " << k.h;
  }
  const broadcast::PixelBox logo = SyntheticBroadcast(scene).LogoBox();
  const ReportedCandidate& best = candidates.front();
  EXPECT_TRUE(best.x <= logo.left + logo.width / 2 && best.x + best.w > logo.left + logo.width / 2) << report;
}

INSTANTIATE_TEST_SUITE_P(
    Areas, LogoIn,
    ::testing::Values(LogoInCase{"around_the_logo", {"--logo-in", "50,0,50,50"}, true},
                      LogoInCase{"another_corner", {"--logo-in", "0,50,50,50"}, false},
                      LogoInCase{"with_a_region_inside",
                                 {"--logo-in", "50,0,50,50", "--region", "70.0,2.0,28.0,25.0"},
                                 true,
                                 "[70.0, 2.0, 28.0, 25.0]"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Command lines that combine --logo-in wrongly are refused before anything is opened ----

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class Refused : public FindLogo, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, AsAWrongCommandLine) {
  const RefusedCase& c = GetParam();
  std::vector<std::string> args = {"--demo", "--report", dir_ / "report.json"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ToolResult r = Extract(args);
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(dir_ / "report.json"));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Refused,
    ::testing::Values(
        RefusedCase{"logo_in_without_find_logo", {"--logo-in", "50,0,50,50"}, "give --find-logo too"},
        RefusedCase{"region_over_the_edge_of_logo_in",
                    {"--find-logo", "--logo-in", "50,0,50,50", "--region", "45.0,2.0,20.0,20.0"},
                    "not wholly inside --logo-in 50.0,0.0,50.0,50.0"},
        RefusedCase{"region_beside_logo_in",
                    {"--find-logo", "--logo-in", "50,0,50,50", "--region", "2.0,60.0,20.0,20.0"},
                    "not wholly inside"},
        RefusedCase{"region_without_logo_in", {"--find-logo", "--region", "2,2,20,20"}, "leave out --region"},
        // Read as --region is, and said as --logo-in.
        RefusedCase{"logo_in_beyond_the_frame",
                    {"--find-logo", "--logo-in", "60,0,50,50"},
                    "--logo-in 60,0,50,50 reaches beyond"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The mask is the template the plug-in draws, pixel for pixel, at the frame's size ----

TEST_F(FindLogo, MaskMatchesTheTemplateThePlugInDraws) {
  const ToolResult r = Extract({"--demo", "--size", "322x240", "--frames", "200", "--pixel-format", "bgr24",
                                "--region", "3.0,4.0,30.0,25.0", "--key-colour", "0080FF", "--threshold", "50",
                                "--black-level", "0", "--no-invert", "--mask", dir_ / "mask.pgm", "--preview",
                                dir_ / "preview.png", "-q"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Mask mask = ReadMask(dir_ / "mask.pgm");
  const Png preview = ReadPng(dir_ / "preview.png");
  ASSERT_EQ(mask.width, 322);
  ASSERT_EQ(preview.width, 322);
  // The region in pixels as the plug-in computes it from tenths.
  const int left = MulDiv(322, 30, 1000), top = MulDiv(240, 40, 1000);
  const int right = left + MulDiv(322, 300, 1000), bottom = top + MulDiv(240, 250, 1000);
  int64_t logo = 0, disagree = 0, outside = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 322; ++x) {
      const size_t i = size_t(y) * 322 + size_t(x);
      const bool inside = x >= left && x < right && y >= top && y < bottom;
      if (!inside) {
        outside += mask.pixels[i] != 0;
        continue;
      }
      const uint8_t* p = &preview.rgb[3 * i];
      const bool keyed = p[0] == 0x00 && p[1] == 0x80 && p[2] == 0xFF;
      logo += mask.pixels[i] == 255;
      disagree += keyed == (mask.pixels[i] == 255);
    }
  EXPECT_GT(logo, 500);
  EXPECT_EQ(disagree, 0);
  EXPECT_EQ(outside, 0);
}

// ---- --until-stable stops once the template held still, and says when ----

TEST_F(FindLogo, UntilStableStopsAfterTheTemplateHeldStill) {
  const ToolResult r = Extract({"--demo", "--size", "320x240", "--frames", "2000", "--region", "2.0,2.0,20.0,20.0",
                                "--until-stable", "40", "--report", dir_ / "report.json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string report = ReadFile(dir_ / "report.json");
  std::smatch decoded, stable;
  ASSERT_TRUE(std::regex_search(report, decoded, std::regex("\"frames_decoded\": ([0-9]+)")));
  ASSERT_TRUE(std::regex_search(report, stable, std::regex("\"stable_after\": ([0-9]+)")));
  EXPECT_LT(std::stoll(decoded[1]), 2000);
  EXPECT_EQ(std::stoll(decoded[1]) - std::stoll(stable[1]), 40);
  EXPECT_NE(r.err.find("stopped changing after frame " + std::string(stable[1])), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vle::test
