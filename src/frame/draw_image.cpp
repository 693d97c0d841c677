#include <cstddef>

#include "core/image_buffer.h"
#include "frame/draw_rows.h"
#include "frame/frame_adapter.h"
#include "frame/frame_layout.h"

namespace vle {

void FrameAdapter::DrawImage(uint8_t* framePixels, const Point& framePoint,
                             const uint32_t* imageBits, const Size& imageSize,
                             const Rect& imageRect, int32_t imageFormat, int32_t opacity) const {
  FrameLayout frame;
  if (!DescribeDrawableFrame(*this, framePixels, &frame)) return;
  if (SelectDrawRow(imageFormat, format, false) == nullptr) return;
  PixelRows image;
  const bool imageTopDown = imageFormat == kYuvAlpha32 || imageFormat == kYuvLuma32;
  if (!PictureRows(const_cast<uint32_t*>(imageBits), imageSize, imageTopDown, &image)) return;
  Rect source, destination;
  if (!ClipBlock(imageSize, imageRect, Size{frame.drawWidth, frame.height}, framePoint, &source,
                 &destination)) {
    return;
  }

  int32_t x = destination.left;
  const bool splitStart = format == kYuy2 && (x & 1) != 0;
  if (splitStart) --x;  // rows start on their pair; the routine skips the pair's first pixel
  const DrawRowFn row = SelectDrawRow(imageFormat, format, splitStart);

  // Out-of-range opacities are treated as the nearest valid percent: a blend never overshoots.
  const int32_t percent = opacity < 0 ? 0 : opacity > 100 ? 100 : opacity;
  const int scaledOpacity = percent * 256 / 100;

  const PixelRows block = image.Block(source.left, source.top, source.right - source.left,
                                      source.bottom - source.top);
  uint8_t* dst = frame.Row(destination.top) + std::ptrdiff_t{frame.bytesPerPixel} * x;
  for (int32_t i = 0; i < block.height; ++i, dst += frame.rowStep) {
    row(block.Row(i), dst, block.width, scaledOpacity);
  }
}

}  // namespace vle
