// A deterministic synthetic broadcast for hosts and end-to-end tests: a moving, textured, colourful
// picture under a static station logo of known shape and place.
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

class SyntheticBroadcast {
 public:
  static constexpr int kFramesPerSecond = 25;

  // Throws std::invalid_argument when FrameBytes(width, height, layout) is 0.
  SyntheticBroadcast(int width, int height, Layout layout);

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

 private:
  int width_;
  int height_;
  Layout layout_;
  size_t frameBytes_;
  // Per column and per row phase offsets of the picture's waves, and the logo's alpha and colour
  // per pixel (alpha 0 outside it); precomputed because they do not depend on the frame number.
  std::vector<int32_t> columnPhase_[3];
  std::vector<int32_t> rowPhase_[3];
  std::vector<uint8_t> logoAlpha_;
  std::vector<uint8_t> logoRgb_;
};

}  // namespace vle::broadcast
