// A deterministic synthetic broadcast for hosts and end-to-end tests: a moving, textured, colourful
// picture under a static station logo of known shape and place.
//
// A Scene varies it with exact ground truth: the logo's style and place, letterbox or pillarbox bars,
// advertising breaks without the logo, a flat static grey box, or no logo at all. The default scene
// is the broadcast described below, frame for frame.
//
// Every background position sweeps through a wide luma range within about 60 frames, so a logo
// template made from a few hundred frames keys all of it. The logo sits inside the plug-in's
// default region (2 % .. 22 % of width and height): a translucent plate, blended over the moving
// picture and therefore never steady, carrying three opaque parts (a ring, a bold V and a bar) that
// are the same in every frame. The picture is a pure function of the frame number and the size,
// computed in integers only: the same on every machine and compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vle::broadcast {

// The host's frame layouts: Yuy2 (packed 4:2:2, rows top-down, 2 bytes per pixel, even width) and
// Bgr24 (3 bytes per pixel, rows bottom-up). Rows carry no padding in either.
enum class Layout { kYuy2, kBgr24 };

// Bytes of one frame; 0 when the size cannot be laid out (non-positive, odd Yuy2 width, or more
// than a frame can hold).
size_t FrameBytes(int width, int height, Layout layout);

// A frame in a host layout as top-down R, G, B bytes. Yuy2 is read as the plug-in reads it:
// full-range BT.601, each pixel with its pair's chroma.
std::vector<uint8_t> FrameToRgb(const uint8_t* frame, int width, int height, Layout layout);

// How the logo is drawn. kPlate: a translucent plate (alpha 120) carrying three opaque parts, a
// gold ring, a white V and a red bar. kOpaque: the three parts alone. kWhiteHalf: the three parts in
// white at alpha 128 (one half). kGradient: the three parts in one colour whose alpha runs from 51
// at the logo's left edge to 230 at its right (0.2 to 0.9).
enum class LogoStyle { kPlate, kWhiteHalf, kGradient, kOpaque };

// Where the logo sits inside the active picture (inside any bars): a corner, or centred along the
// top or bottom edge. Corners keep 4 % of the active picture's width and height to its sides.
enum class LogoPlace { kTopLeft, kTopRight, kBottomLeft, kBottomRight, kTopCentre, kBottomCentre };

// Frames begin .. end - 1.
struct FrameRange {
  int64_t begin, end;
};

// A rectangle in pixels; empty when width or height is 0.
struct PixelBox {
  int left = 0, top = 0, width = 0, height = 0;
};

struct Scene {
  int width = 720, height = 576;
  Layout layout = Layout::kYuy2;
  bool logo = true;  // false: a broadcast without any logo
  LogoStyle style = LogoStyle::kPlate;
  LogoPlace place = LogoPlace::kTopLeft;
  // Black bars: `letterbox` rows at the top and at the bottom, `pillarbox` columns at the left and
  // at the right. The logo is placed in the picture between them.
  int letterbox = 0, pillarbox = 0;
  std::vector<FrameRange> breaks;  // advertising breaks: no logo in these frames
  // A flat grey (128, 128, 128) box of the logo's size in the corner diagonally opposite the logo
  // (bottom left for a logo along the top edge, top left along the bottom edge).
  bool greyBox = false;
};

class SyntheticBroadcast {
 public:
  static constexpr int kFramesPerSecond = 25;

  // Throws std::invalid_argument when FrameBytes(width, height, layout) is 0.
  SyntheticBroadcast(int width, int height, Layout layout);
  // Throws std::invalid_argument when the frame cannot be laid out or the bars leave less than a
  // quarter of the picture in either direction.
  explicit SyntheticBroadcast(const Scene& scene);

  int width() const { return width_; }
  int height() const { return height_; }
  Layout layout() const { return layout_; }
  size_t frameBytes() const { return frameBytes_; }

  // Frame `n` (n >= 0) into `out`, frameBytes() long, in the layout. Yuy2 uses the full-range
  // BT.601 (JFIF) conversion, each pair carrying the rounded mean chroma of its two pixels.
  void Render(int64_t n, uint8_t* out) const;

  // Frame `n` as top-down R, G, B bytes, 3 * width * height long.
  void RenderRgb(int64_t n, uint8_t* rgb) const;

  // The logo's opaque pixels at this size: width * height bytes, rows top-down, 1 where the logo
  // covers the picture completely, 0 elsewhere (translucent plate and background).
  std::vector<uint8_t> OpaqueMask() const;

  // The logo's opacity per pixel, 0 (none) .. 255 (opaque), width * height bytes top-down; all 0
  // without a logo. Frames of advertising breaks show none of it.
  const std::vector<uint8_t>& LogoAlpha() const { return logoAlpha_; }
  // The logo's colour per pixel, R, G, B, 3 * width * height bytes; 0 where the alpha is 0.
  const std::vector<uint8_t>& LogoRgb() const { return logoRgb_; }
  // The smallest box holding every pixel of alpha > 0; empty without a logo.
  PixelBox LogoBox() const { return logoBox_; }
  // The grey box, empty when the scene has none.
  PixelBox GreyBox() const { return greyBox_; }
  // Whether frame `n` shows the logo (false inside an advertising break or without a logo).
  bool LogoShown(int64_t n) const;
  const Scene& scene() const { return scene_; }

 private:
  Scene scene_;
  int width_;
  int height_;
  Layout layout_;
  size_t frameBytes_;
  PixelBox logoBox_, greyBox_;
  // Per column and per row phase offsets of the picture's waves, and the logo's alpha and colour
  // per pixel (alpha 0 outside it); precomputed because they do not depend on the frame number.
  std::vector<int32_t> columnPhase_[3];
  std::vector<int32_t> rowPhase_[3];
  std::vector<uint8_t> logoAlpha_;
  std::vector<uint8_t> logoRgb_;
};

}  // namespace vle::broadcast
