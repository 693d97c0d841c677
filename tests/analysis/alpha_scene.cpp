#include "alpha_scene.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "broadcast.h"

namespace vle::test {
namespace {

// Frames of a long recording sampled far apart: the picture behind the logo differs between them.
constexpr int kFrameStep = 37;

uint32_t Mix(uint32_t x, uint32_t y, uint32_t salt) {
  uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ salt * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// -1 .. 1
float Unit(uint32_t h) { return float(h & 0xFFFF) / 32767.5f - 1.f; }

// Position along a to-and-fro path over 0 .. span.
int Bounce(int t, int span) {
  const int p = ((t % (2 * span)) + 2 * span) % (2 * span);
  return p < span ? p : 2 * span - p;
}

}  // namespace

AlphaScene MakeBusyAlphaScene(int count, const std::vector<int>& absent) {
  constexpr int kWidth = 720, kHeight = 576;
  AlphaScene s;
  s.width = kWidth, s.height = kHeight;
  // Where the synthetic broadcasts put a bottom-right logo: 4 % from the picture's edges.
  const int lw = 116, lh = 86;
  s.logo = analysis::Rect{kWidth - 28 - lw, kHeight - 23 - lh, lw, lh};
  const analysis::Rect& L = s.logo;
  s.alpha.assign(size_t(kWidth) * kHeight, 0.f);
  s.color.assign(3 * size_t(kWidth) * kHeight, 0.f);
  for (int y = L.top; y < L.bottom(); ++y) {
    for (int x = L.left; x < L.right(); ++x) {
      const float u = float(x - L.left) / float(lw - 1), v = float(y - L.top) / float(lh - 1);
      // Rounded corners of radius 14, and a hole of radius 16 left of the centre.
      const float cx = std::clamp(float(x - L.left), 14.f, float(lw - 1 - 14)) - float(x - L.left);
      const float cy = std::clamp(float(y - L.top), 14.f, float(lh - 1 - 14)) - float(y - L.top);
      if (cx * cx + cy * cy > 14.f * 14.f) continue;
      const float hx = float(x - L.left - 34), hy = float(y - L.top - lh / 2);
      if (hx * hx + hy * hy < 16.f * 16.f) continue;
      const size_t i = size_t(y) * kWidth + size_t(x);
      s.alpha[i] = 0.3f + 0.5f * u;
      s.color[3 * i] = 230 - 150 * v, s.color[3 * i + 1] = 210, s.color[3 * i + 2] = 60 + 170 * v;
    }
  }
  struct Disc {
    int x, y, r, vx, vy;
    uint8_t rgb[3];
  };
  const Disc discs[] = {{430, 380, 30, 5, 3, {240, 40, 40}},  {700, 600, 22, -4, -5, {20, 30, 30}},
                        {500, 560, 40, 6, -2, {250, 250, 120}}, {650, 420, 26, -3, 4, {40, 200, 90}},
                        {560, 470, 18, 7, 6, {90, 60, 220}}};
  std::vector<float> columns(4 * size_t(kWidth));
  for (int x = 0; x < kWidth; ++x) {
    const float wx = 0.011f * float(x), tx = 0.006f * float(x);
    columns[4 * size_t(x)] = std::sin(wx), columns[4 * size_t(x) + 1] = std::cos(wx);
    columns[4 * size_t(x) + 2] = std::sin(tx), columns[4 * size_t(x) + 3] = std::cos(tx);
  }
  for (int n = 0; n < count; ++n) {
    const bool shown = std::find(absent.begin(), absent.end(), n) == absent.end();
    std::vector<uint8_t> frame(3 * size_t(kWidth) * kHeight), bg(frame.size());
    // The texture pans 5 pixels right and 2 down a frame, so that each frame shows new detail.
    const int panX = 5 * n, panY = 2 * n;
    const int barX = L.left + Bounce(7 * n, lw - 24), barY = L.top + Bounce(5 * n + 30, lh - 18);
    int discX[std::size(discs)], discY[std::size(discs)];
    for (size_t k = 0; k < std::size(discs); ++k) {
      const Disc& d = discs[k];
      discX[k] = L.left - 160 + Bounce(d.x - L.left + 160 + d.vx * n, 300 + lw);
      discY[k] = L.top - 120 + Bounce(d.y - L.top + 120 + d.vy * n, 220 + lh);
    }
    // Only the frame's bottom-right quarter, where the logo is, is drawn; the rest stays grey.
    std::fill(bg.begin(), bg.end(), uint8_t(128));
    for (int y = kHeight / 2; y < kHeight; ++y) {
      // Light and tint drift across the frame and over time: sin(x terms + y terms) by parts.
      const float wy = 0.007f * float(y) + 0.05f * float(n), ty = -0.009f * float(y) + 0.031f * float(n) + 1.f;
      const float swy = std::sin(wy), cwy = std::cos(wy), sty = std::sin(ty), cty = std::cos(ty);
      for (int x = kWidth / 2; x < kWidth; ++x) {
        const float* c = &columns[4 * size_t(x)];
        const float wave = c[0] * cwy + c[1] * swy, tint = c[2] * cty + c[3] * sty;
        float rgb[3] = {120 + 50 * wave + 30 * tint, 120 + 50 * wave, 120 + 50 * wave - 30 * tint};
        // A fine texture over it: single pixels and 3-pixel blocks, mostly light, a little colour.
        const uint32_t tx2 = uint32_t(x + panX), ty2 = uint32_t(y + panY);
        const float fine = 0.6f * Unit(Mix(tx2, ty2, 1)) + 0.4f * Unit(Mix(tx2 / 3, ty2 / 3, 2));
        for (int k = 0; k < 3; ++k) rgb[k] += 30 * fine + 8 * Unit(Mix(tx2, ty2, 3 + uint32_t(k)));
        // Objects of flat colour: a bar across the ring's top and bottom, one across its left and
        // right, and the discs.
        if (x >= barX && x < barX + 24 && y >= L.top - 90 && y < L.bottom() + 60) {
          rgb[0] = 30, rgb[1] = 40, rgb[2] = 160;
        } else if (y >= barY && y < barY + 18 && x >= L.left - 120 && x < L.right() + 60) {
          rgb[0] = 235, rgb[1] = 200, rgb[2] = 40;
        }
        for (size_t k = 0; k < std::size(discs); ++k) {
          const int dx = x - discX[k], dy = y - discY[k], r = discs[k].r;
          if (dx * dx + dy * dy <= r * r) rgb[0] = discs[k].rgb[0], rgb[1] = discs[k].rgb[1], rgb[2] = discs[k].rgb[2];
        }
        const size_t i = size_t(y) * kWidth + size_t(x);
        for (int k = 0; k < 3; ++k) bg[3 * i + size_t(k)] = uint8_t(std::clamp(std::round(rgb[k]), 0.f, 255.f));
      }
    }
    frame = bg;
    for (int y = L.top; shown && y < L.bottom(); ++y) {
      for (int x = L.left; x < L.right(); ++x) {
        const size_t i = size_t(y) * kWidth + size_t(x);
        const float a = s.alpha[i];
        for (size_t k = 3 * i; k < 3 * i + 3; ++k) frame[k] = uint8_t(std::lround((1 - a) * bg[k] + a * s.color[k]));
      }
    }
    s.frames.push_back(std::move(frame));
    s.background.push_back(std::move(bg));
  }
  return s;
}

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
