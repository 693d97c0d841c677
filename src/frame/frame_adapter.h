// The only component that knows how the host lays out a video frame. It turns the region settings
// into a pixel rectangle, clips block copies against frame and picture, converts frame pixels into
// 32-bit pictures and draws pictures and rings back into the frame.
//
// Holds no lock: callers serialise where they share buffers. Frame pixels are borrowed for one call.
#pragma once

#include <cstdint>

#include "core/geometry.h"
#include "frame/formats.h"

namespace vle {

class FrameAdapter {
 public:
  FrameAdapter() = default;
  virtual ~FrameAdapter() = default;

  // Stores the three values. Codes other than 0 and 1 are kept too, and convert and draw nothing.
  void SetFormat(int32_t width, int32_t height, int32_t pixelFormat);

  // The region in frame pixels from the settings' tenths of a percent: ScaleRegion with 1000, 1000.
  Rect ComputeRegion(const int32_t position[2], const int32_t size[2]) const;

  // left = MulDiv(width, pos x, den x), right = left + MulDiv(width, size x, den x); likewise
  // vertically. Neither clamped nor aligned.
  Rect ScaleRegion(const int32_t position[2], const int32_t size[2], int32_t denominatorX,
                   int32_t denominatorY) const;

  // Cuts two equally sized rectangles to what both surfaces hold, every cut made to one made to the
  // same edge of the other. Returns false (rectangles left as far as they were cut) when nothing is
  // left. Sizes are (width, height) pairs.
  static bool ClipRectPair(const Size& sourceSize, Rect& source, const Size& destinationSize,
                           Rect& destination);

  // The block copy between a picture and the frame, clipped to both: `rect` of a picture of
  // `pictureSize` with its top-left at `point` of a frame area of `frameSize`. The frame block is
  // formed in 64 bits, since hostile rectangles and points overflow 32-bit sums; one that leaves
  // the 32-bit range is narrowed to both surfaces before ClipRectPair sees it. The result is
  // checked against the surfaces once more. False when nothing is left; otherwise `picture` and
  // `frame` are equally sized blocks inside their surfaces. ImportRegion and DrawImage clip with it.
  static bool ClipBlock(const Size& pictureSize, const Rect& rect, const Size& frameSize,
                        const Point& point, Rect* picture, Rect* frame);

  // Converts the frame block starting at `framePoint` into `imageRect` of a 32-bit picture of
  // `imageSize` in layout `imageFormat` (3, 4, 9 or 11). Clipped to both; unknown codes touch nothing.
  void ImportRegion(const uint8_t* framePixels, const Point& framePoint, uint32_t* imageBits,
                    const Size& imageSize, const Rect& imageRect, int32_t imageFormat) const;

  // Draws `imageRect` of a 32-bit picture into the frame with its top-left at `framePoint`,
  // replacing (codes 0, 3, 11) or blending by alpha and `opacity` percent (codes 4, 9).
  void DrawImage(uint8_t* framePixels, const Point& framePoint, const uint32_t* imageBits,
                 const Size& imageSize, const Rect& imageRect, int32_t imageFormat,
                 int32_t opacity) const;

  // |thickness| one-pixel rings of `colour` (COLORREF) around r: outside for negative thickness,
  // inside for positive, nothing for 0. Clipped to the frame; every ring pixel drawn once.
  void DrawFrameRect(uint8_t* framePixels, Rect r, int32_t thickness, uint32_t color,
                     int32_t opacity) const;

  // Row y from xFrom towards xTo, xTo itself excluded, in either direction; clipped to the frame.
  void DrawHorizontalLine(uint8_t* framePixels, int32_t xFrom, int32_t xTo, int32_t y,
                          uint32_t color, int32_t opacity) const;
  // Column x from yFrom towards yTo, yTo excluded; clipped to the frame.
  void DrawVerticalLine(uint8_t* framePixels, int32_t x, int32_t yFrom, int32_t yTo, uint32_t color,
                        int32_t opacity) const;

  // The colour's four bytes in the frame's layout: Yuy2 (Y, Cb, Y, Cr), Bgr24 (B, G, R, 0) as a
  // little-endian word; other layouts get the COLORREF back unchanged.
  uint32_t ColorToFramePixel(uint32_t color) const;

  Size frameSize() const { return Size{width, height}; }

  int32_t format = 0;
  int32_t width = 0;
  int32_t height = 0;
};

}  // namespace vle
