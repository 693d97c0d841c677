// logo-extract's opacity outputs end to end: an H.264 recording of a semi-transparent logo, found,
// sampled by key frames, and the files checked against the broadcast's truth.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>

#include "broadcast.h"
#include "tool_run.h"

namespace vle::test {
namespace {

std::vector<uint8_t> ReadRgba(const std::string& path, int* width, int* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
  *width = int(image.width), *height = int(image.height);
  return rgba;
}

// Whether the H.264 clip could be made.
bool Encode(const broadcast::SyntheticBroadcast& b, int frames, const std::string& path) {
  const std::string cmd = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " + std::to_string(b.width()) + "x" +
                          std::to_string(b.height()) + " -r 25 -i - -c:v libx264 -preset ultrafast -crf 16 -g 25 '" +
                          path + "'";
  std::FILE* out = popen(cmd.c_str(), "w");
  if (out == nullptr) return false;
  std::vector<uint8_t> rgb(3 * size_t(b.width()) * size_t(b.height()));
  for (int n = 0; n < frames; ++n) {
    b.RenderRgb(n, rgb.data());
    std::fwrite(rgb.data(), 1, rgb.size(), out);
  }
  return pclose(out) == 0;
}

class AlphaExtract : public ::testing::Test {
 protected:
  ToolResult Extract(const std::vector<std::string>& args) {
    return RunTool(VLE_LOGO_EXTRACT, args, {{"QUORSANA_STORE_IN_USERS_FOLDER", "1"}, {"XDG_CONFIG_HOME", dir_.path()}});
  }
  ScratchDir dir_;
};

TEST_F(AlphaExtract, WhiteHalfLogoFromKeyFrames) {
  broadcast::Scene scene;
  scene.layout = broadcast::Layout::kBgr24;
  scene.style = broadcast::LogoStyle::kWhiteHalf;
  scene.place = broadcast::LogoPlace::kTopRight;
  scene.breaks = {broadcast::FrameRange{200, 300}};
  const broadcast::SyntheticBroadcast b(scene);
  ASSERT_TRUE(Encode(b, 750, dir_ / "clip.mp4")) << "FFmpeg (with libx264) could not encode the clip";

  const ToolResult r = Extract({dir_ / "clip.mp4", "--find-logo", "--sample", "keyframes", "--alpha", dir_ / "a.png",
                                "--deblend-preview", dir_ / "d.png", "--mask", dir_ / "m.png", "--report",
                                dir_ / "r.json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("logo opacity from"), std::string::npos) << r.err;

  int w = 0, h = 0;
  const std::vector<uint8_t> rgba = ReadRgba(dir_ / "a.png", &w, &h);
  ASSERT_EQ(w, 720);
  ASSERT_EQ(h, 576);
  const broadcast::PixelBox box = b.LogoBox();
  double alphaError = 0;
  int64_t inBox = 0, outsideOpaque = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      const bool inside = x >= box.left && x < box.left + box.width && y >= box.top && y < box.top + box.height;
      if (inside) {
        alphaError += std::fabs(rgba[4 * i + 3] - b.LogoAlpha()[i]) / 255.0;
        ++inBox;
      } else {
        outsideOpaque += rgba[4 * i + 3] > 64;
      }
    }
  }
  EXPECT_LE(alphaError / double(inBox), 0.03);
  EXPECT_EQ(outsideOpaque, 0);

  // The mask covers the half-transparent logo, which the steadiness rule alone keys out.
  const Png mask = ReadPng(dir_ / "m.png");
  ASSERT_EQ(mask.width, 720);
  int64_t logo = 0, covered = 0;
  for (size_t i = 0; i < b.LogoAlpha().size(); ++i) {
    if (b.LogoAlpha()[i] < 64) continue;
    ++logo;
    covered += mask.rgb[3 * i] == 255;
  }
  EXPECT_GE(double(covered), 0.95 * double(logo));

  const Png clean = ReadPng(dir_ / "d.png");
  EXPECT_EQ(clean.width, 720);
  const std::string report = ReadFile(dir_ / "r.json");
  EXPECT_NE(report.find("\"alpha\": {\"trustworthy\": true"), std::string::npos) << report;
  EXPECT_NE(report.find("\"residual_rms\": ["), std::string::npos);
}

// A region over the plain picture holds no logo: one line says so, and no opacity file appears.
TEST_F(AlphaExtract, EstimateTooPoorWritesNoFile) {
  const ToolResult r = Extract({"--demo", "--frames", "200", "--region", "60.0,60.0,20.0,20.0", "--alpha",
                                dir_ / "a.png", "--deblend-preview", dir_ / "d.png", "--report", dir_ / "r.json"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("too poor to trust"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists(dir_ / "a.png"));
  EXPECT_FALSE(Exists(dir_ / "d.png"));
  // A failed run replaces nothing, the report included.
  EXPECT_FALSE(Exists(dir_ / "r.json"));
}

}  // namespace
}  // namespace vle::test
