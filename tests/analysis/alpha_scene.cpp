#include "alpha_scene.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "broadcast.h"

namespace vle::test {
namespace {

// Frames of a long recording sampled far apart: the picture behind the logo differs between them.
constexpr int kFrameStep = 37;

}  // namespace

AlphaScene MakeAlphaScene(int width, int height, broadcast::LogoStyle style, broadcast::LogoPlace place, int count,
                          const std::vector<int>& absent) {
  broadcast::Scene with;
  with.width = width, with.height = height, with.layout = broadcast::Layout::kBgr24;
  with.style = style, with.place = place;
  for (int n : absent) with.breaks.push_back(broadcast::FrameRange{int64_t(n) * kFrameStep, int64_t(n) * kFrameStep + 1});
  broadcast::Scene without = with;
  without.logo = false;
  const broadcast::SyntheticBroadcast shown(with), hidden(without);
  AlphaScene s;
  s.width = width, s.height = height;
  const broadcast::PixelBox box = shown.LogoBox();
  s.logo = analysis::Rect{box.left, box.top, box.width, box.height};
  s.alpha.resize(shown.LogoAlpha().size());
  for (size_t i = 0; i < s.alpha.size(); ++i) s.alpha[i] = shown.LogoAlpha()[i] / 255.f;
  s.color.assign(shown.LogoRgb().begin(), shown.LogoRgb().end());
  for (int n = 0; n < count; ++n) {
    std::vector<uint8_t> frame(3 * size_t(width) * size_t(height)), bg(frame.size());
    shown.RenderRgb(int64_t(n) * kFrameStep, frame.data());
    hidden.RenderRgb(int64_t(n) * kFrameStep, bg.data());
    s.frames.push_back(std::move(frame));
    s.background.push_back(std::move(bg));
  }
  return s;
}

std::vector<std::vector<uint8_t>> H264RoundTrip(const std::vector<std::vector<uint8_t>>& frames, int width,
                                                int height, const std::string& scratch, int crf) {
  // Tests of one binary run as parallel processes: each clip has a name of its own.
  static int counter = 0;
  const std::string clip =
      scratch + "/alpha-clip-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".mp4";
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string encode = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " + size +
                             " -r 25 -i - -c:v libx264 -preset ultrafast -crf " + std::to_string(crf) +
                             " -pix_fmt yuv420p '" + clip + "'";
  std::FILE* in = popen(encode.c_str(), "w");
  if (in == nullptr) return {};
  for (const auto& f : frames) std::fwrite(f.data(), 1, f.size(), in);
  if (pclose(in) != 0) return {};
  const std::string decode = "ffmpeg -v error -i '" + clip + "' -f rawvideo -pix_fmt rgb24 -";
  std::FILE* out = popen(decode.c_str(), "r");
  if (out == nullptr) return {};
  std::vector<std::vector<uint8_t>> decoded;
  std::vector<uint8_t> buffer(3 * size_t(width) * size_t(height));
  while (std::fread(buffer.data(), 1, buffer.size(), out) == buffer.size()) decoded.push_back(buffer);
  const bool whole = pclose(out) == 0 && decoded.size() == frames.size();
  std::remove(clip.c_str());
  if (!whole) return {};
  return decoded;
}

double BoxPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, analysis::Rect box) {
  double squares = 0;
  for (int y = box.top; y < box.top + box.height; ++y) {
    for (int x = 3 * box.left; x < 3 * (box.left + box.width); ++x) {
      const double d = double(a[size_t(y) * size_t(3 * width) + size_t(x)]) - b[size_t(y) * size_t(3 * width) + size_t(x)];
      squares += d * d;
    }
  }
  const double mse = squares / (3.0 * box.width * box.height);
  return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

AlphaFigures Judge(const AlphaScene& scene, const analysis::AlphaMatte& matte,
                   const std::vector<uint8_t>& observed) {
  AlphaFigures f;
  std::vector<uint8_t> clean;
  analysis::Deblend(matte, observed.data(), 3 * scene.width, {}, clean);
  const std::vector<uint8_t>& truth = scene.background.back();
  double alphaErr = 0, colorErr = 0, squares = 0;
  int64_t pixels = 0, colored = 0, deblended = 0;
  for (int y = scene.logo.top; y < scene.logo.top + scene.logo.height; ++y) {
    for (int x = scene.logo.left; x < scene.logo.left + scene.logo.width; ++x) {
      const size_t i = size_t(y) * size_t(scene.width) + size_t(x);
      const float a = scene.alpha[i], est = matte.AlphaAt(x, y);
      alphaErr += std::fabs(est - a);
      ++pixels;
      const bool inBox = x >= matte.box.left && y >= matte.box.top && x < matte.box.left + matte.box.width &&
                         y < matte.box.top + matte.box.height;
      if (a >= 0.3f) {
        for (int k = 0; k < 3; ++k) {
          const float c = inBox ? matte.color[3 * (size_t(y - matte.box.top) * size_t(matte.box.width) +
                                                    size_t(x - matte.box.left)) + size_t(k)]
                                : 0.f;
          colorErr += std::fabs(c - scene.color[3 * i + size_t(k)]);
        }
        ++colored;
      }
      if (a <= 0.8f) {
        for (int k = 0; k < 3; ++k) {
          const double d = double(clean[3 * i + size_t(k)]) - truth[3 * i + size_t(k)];
          squares += d * d;
        }
        ++deblended;
      }
    }
  }
  f.alphaMae = alphaErr / double(std::max<int64_t>(1, pixels));
  f.colorMae = colorErr / double(std::max<int64_t>(1, 3 * colored));
  const double mse = squares / double(std::max<int64_t>(1, 3 * deblended));
  f.deblendPsnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
  return f;
}

}  // namespace vle::test
