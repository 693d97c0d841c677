#include "alpha_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "broadcast.h"

namespace vle::test {
namespace {

// Frames of a long recording sampled far apart: the picture behind the logo differs between them.
constexpr int kFrameStep = 37;

}  // namespace

AlphaScene MakeAlphaScene(int width, int height, LogoKind kind, int count, const std::vector<int>& absent) {
  AlphaScene s;
  s.width = width, s.height = height;
  // The picture is a window of a larger broadcast, away from that broadcast's own logo.
  const int bigW = (width * 13 / 10 + 1) / 2 * 2, bigH = height * 13 / 10;
  const int offX = bigW - width, offY = bigH - height;
  const broadcast::SyntheticBroadcast big(bigW, bigH, broadcast::Layout::kBgr24);
  s.logo = analysis::PixelBox{width * 74 / 100, height * 5 / 100, width * 16 / 100, height * 11 / 100};
  s.alpha.assign(size_t(width) * size_t(height), 0.f);
  s.colour.assign(3 * size_t(width) * size_t(height), 0.f);
  for (int y = s.logo.y; y < s.logo.y + s.logo.height; ++y) {
    for (int x = s.logo.x; x < s.logo.x + s.logo.width; ++x) {
      const double u = (x - s.logo.x + 0.5) / s.logo.width, v = (y - s.logo.y + 0.5) / s.logo.height;
      const double r = std::hypot(u - 0.5, v - 0.5);
      float a = 0, c[3] = {0, 0, 0};
      switch (kind) {
        case LogoKind::kWhiteHalf:
          if ((r >= 0.3 && r <= 0.48) || (std::fabs(v - 0.5) < 0.08 && u > 0.15 && u < 0.85))
            a = 0.5f, c[0] = c[1] = c[2] = 255;
          break;
        case LogoKind::kGradient:
          if (r <= 0.5) a = float(0.2 + 0.7 * u), c[0] = 30, c[1] = 160, c[2] = 220;
          break;
        case LogoKind::kOpaque:
          if (r >= 0.3 && r <= 0.48) a = 1, c[0] = 250, c[1] = 196, c[2] = 30;
          else if (std::fabs(v - 0.5) < 0.1 && u > 0.2 && u < 0.8) a = 1, c[0] = c[1] = c[2] = 246;
          break;
      }
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      s.alpha[i] = a;
      for (int k = 0; k < 3; ++k) s.colour[3 * i + size_t(k)] = c[k];
    }
  }
  std::vector<uint8_t> whole(3 * size_t(bigW) * size_t(bigH));
  for (int n = 0; n < count; ++n) {
    big.RenderRgb(int64_t(n) * kFrameStep, whole.data());
    std::vector<uint8_t> bg(3 * size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
      std::copy_n(&whole[3 * (size_t(y + offY) * size_t(bigW) + size_t(offX))], 3 * size_t(width),
                  &bg[3 * size_t(y) * size_t(width)]);
    std::vector<uint8_t> frame(bg);
    if (std::find(absent.begin(), absent.end(), n) == absent.end()) {
      for (size_t i = 0; i < s.alpha.size(); ++i) {
        const float a = s.alpha[i];
        if (a <= 0) continue;
        for (int k = 0; k < 3; ++k) {
          const float v = (1 - a) * bg[3 * i + size_t(k)] + a * s.colour[3 * i + size_t(k)];
          frame[3 * i + size_t(k)] = uint8_t(std::lround(v));
        }
      }
    }
    s.background.push_back(std::move(bg));
    s.frames.push_back(std::move(frame));
  }
  return s;
}

std::vector<std::vector<uint8_t>> H264RoundTrip(const std::vector<std::vector<uint8_t>>& frames, int width,
                                                int height, const std::string& scratch, int crf) {
  const std::string clip = scratch + "/clip.mp4";
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
  if (pclose(out) != 0 || decoded.size() != frames.size()) return {};
  return decoded;
}

double BoxPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, analysis::PixelBox box) {
  double squares = 0;
  for (int y = box.y; y < box.y + box.height; ++y) {
    for (int x = 3 * box.x; x < 3 * (box.x + box.width); ++x) {
      const double d = double(a[size_t(y) * size_t(3 * width) + size_t(x)]) - b[size_t(y) * size_t(3 * width) + size_t(x)];
      squares += d * d;
    }
  }
  const double mse = squares / (3.0 * box.width * box.height);
  return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

AlphaFigures Judge(const AlphaScene& scene, const analysis::AlphaMatte& matte,
                   const std::vector<uint8_t>& lastObserved) {
  AlphaFigures f;
  std::vector<uint8_t> clean;
  analysis::Deblend(matte, lastObserved.data(), 3 * scene.width, {}, clean);
  const std::vector<uint8_t>& truth = scene.background.back();
  double alphaErr = 0, colourErr = 0, squares = 0;
  int64_t pixels = 0, coloured = 0, deblended = 0;
  for (int y = scene.logo.y; y < scene.logo.y + scene.logo.height; ++y) {
    for (int x = scene.logo.x; x < scene.logo.x + scene.logo.width; ++x) {
      const size_t i = size_t(y) * size_t(scene.width) + size_t(x);
      const float a = scene.alpha[i], est = matte.AlphaAt(x, y);
      alphaErr += std::fabs(est - a);
      ++pixels;
      const bool inBox = x >= matte.box.x && y >= matte.box.y && x < matte.box.x + matte.box.width &&
                         y < matte.box.y + matte.box.height;
      if (a >= 0.3f) {
        for (int k = 0; k < 3; ++k) {
          const float c = inBox ? matte.colour[3 * (size_t(y - matte.box.y) * size_t(matte.box.width) +
                                                    size_t(x - matte.box.x)) + size_t(k)]
                                : 0.f;
          colourErr += std::fabs(c - scene.colour[3 * i + size_t(k)]);
        }
        ++coloured;
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
  f.colourMae = colourErr / double(std::max<int64_t>(1, 3 * coloured));
  const double mse = squares / double(std::max<int64_t>(1, 3 * deblended));
  f.deblendPsnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
  return f;
}

}  // namespace vle::test
