// Samples of synthetic broadcasts with a logo of exactly known opacity and colour, their H.264
// round trip through FFmpeg, and the figures an opacity estimate is judged by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/alpha_estimator.h"
#include "broadcast.h"

namespace vle::test {

struct AlphaScene {
  int width = 0, height = 0;
  analysis::Rect logo;    // the logo's bounding box
  std::vector<float> alpha;   // per pixel of the frame, 0..1
  std::vector<float> color;   // 3 per pixel, 0..255
  std::vector<std::vector<uint8_t>> background;  // per frame, top-down RGB
  std::vector<std::vector<uint8_t>> frames;      // the backgrounds with the logo blended over
};

// `count` frames spread over a long recording of the broadcast, the logo missing from the samples
// listed in `absent` (advertising breaks).
AlphaScene MakeAlphaScene(int width, int height, broadcast::LogoStyle style, broadcast::LogoPlace place, int count,
                          const std::vector<int>& absent = {});

// `count` consecutive frames of a 720 x 576 recording whose picture is busy around a bottom-right
// logo in every frame: a fine texture pans past, a bar slides to and fro across the ring's top and
// bottom and another up and down across its left and right, and discs of flat colour drift
// through. The logo is a plate with rounded corners and a round hole, its opacity running from
// 0.3 at the left to 0.8 at the right. The frames listed in `absent` lack the logo.
AlphaScene MakeBusyAlphaScene(int count, const std::vector<int>& absent = {});

// Encodes the frames with libx264 at constant quality `crf` (4:2:0, as broadcasts are) and
// decodes them back; empty when FFmpeg is unavailable.
std::vector<std::vector<uint8_t>> H264RoundTrip(const std::vector<std::vector<uint8_t>>& frames, int width,
                                                int height, const std::string& scratch, int crf);

// PSNR of `a` against `b` over a box of frames `width` wide.
double BoxPsnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, analysis::Rect box);

struct AlphaFigures {
  double alphaMae = 0;       // over the logo's box
  double colorMae = 0;       // where the true opacity is at least 0.3, 0..255
  double deblendPsnr = 0;    // where the true opacity is at most 0.8, against the true background
};

// Figures of `matte` against the scene. `observed` is the frame to de-blend, whose background
// is the scene's last: the scene's own last frame judges the estimate alone; a decoded one adds
// the encoder's loss, which de-blending magnifies by 1 / (1 - a).
AlphaFigures Judge(const AlphaScene& scene, const analysis::AlphaMatte& matte,
                   const std::vector<uint8_t>& observed);

}  // namespace vle::test
