// Synthetic broadcasts with a semi-transparent logo of exactly known opacity and colour, their
// H.264 round trip through FFmpeg, and the figures an opacity estimate is judged by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/alpha_estimator.h"

namespace vle::test {

enum class LogoKind { kWhiteHalf, kGradient, kOpaque };

struct AlphaScene {
  int width = 0, height = 0;
  analysis::PixelBox logo;    // the logo's bounding box
  std::vector<float> alpha;   // per pixel of the frame, 0..1
  std::vector<float> colour;  // 3 per pixel, 0..255
  std::vector<std::vector<uint8_t>> background;  // per frame, top-down RGB
  std::vector<std::vector<uint8_t>> frames;      // the backgrounds with the logo blended over
};

// `count` frames spread over a long recording, the logo missing from those listed in `absent`.
AlphaScene MakeAlphaScene(int width, int height, LogoKind kind, int count, const std::vector<int>& absent = {});

// Encodes the frames with libx264 at constant quality `crf` (4:2:0, as broadcasts are) and
// decodes them back; empty when FFmpeg is unavailable.
std::vector<std::vector<uint8_t>> H264RoundTrip(const std::vector<std::vector<uint8_t>>& frames, int width,
                                                int height, const std::string& scratch, int crf);

// PSNR of `a` against `b` over a box of frames `width` wide.
double BoxPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, analysis::PixelBox box);

struct AlphaFigures {
  double alphaMae = 0;       // over the logo's box
  double colourMae = 0;      // where the true opacity is at least 0.3, 0..255
  double deblendPsnr = 0;    // where the true opacity is at most 0.8, against the true background
};

// Figures of `matte` against the scene; the de-blended frame is the last of `observed`.
AlphaFigures Judge(const AlphaScene& scene, const analysis::AlphaMatte& matte,
                   const std::vector<uint8_t>& lastObserved);

}  // namespace vle::test
