// ImportRegion: clipping, addressing and row dispatch for the frame import. The per-pixel work
// lives in the row routines (import_rows.cpp).
#include "core/image_buffer.h"
#include "frame/frame_adapter.h"
#include "frame/frame_layout.h"
#include "frame/import_rows.h"

namespace vle {

void FrameAdapter::ImportRegion(const uint8_t* framePixels, const Point& framePoint,
                                uint32_t* imageBits, const Size& imageSize, const Rect& imageRect,
                                int32_t imageFormat) const {
  const ImportRows rows = SelectImportRows(format, imageFormat);
  if (rows.evenStart == nullptr) return;
  FrameLayout frame;
  PixelRows image;
  const bool imageTopDown = imageFormat == kYuvAlpha32 || imageFormat == kYuvLuma32;
  if (!DescribeFrame(*this, framePixels, &frame) ||
      !PictureRows(imageBits, imageSize, imageTopDown, &image)) {
    return;
  }
  Rect block, frameBlock;
  if (!ClipBlock(imageSize, imageRect, Size{frame.width, frame.height}, framePoint, &block,
                 &frameBlock)) {
    return;
  }

  const int32_t count = frameBlock.right - frameBlock.left;
  const PixelRows target =
      image.Block(block.left, block.top, count, frameBlock.bottom - frameBlock.top);
  ImportRowFn convert = rows.evenStart;
  int32_t frameX = frameBlock.left;
  int32_t pairedCount = count;
  bool halfPairAtEnd = false;
  if (format == kYuy2) {
    // A block starting at an odd column starts inside a pair: address the pair, convert its
    // second pixel first.
    if (frameX & 1) {
      --frameX;
      convert = rows.splitStart;
    }
    if ((frame.width & 1) && frameBlock.right == frame.width) {
      halfPairAtEnd = true;
      --pairedCount;
    }
  }

  for (int32_t i = 0; i < target.height; ++i) {
    const uint8_t* frameRow = frame.Row(frameBlock.top + i);
    uint32_t* imageRow = target.Row(i);
    if (pairedCount > 0) {
      convert(frameRow + int64_t{frame.bytesPerPixel} * frameX, imageRow, pairedCount);
    }
    if (halfPairAtEnd) {
      const HalfPair pair = HalfPairAtEnd(frameRow + 2 * (int64_t{frame.width} - 1));
      rows.evenStart(pair.bytes, imageRow + pairedCount, 1);
    }
  }
}

}  // namespace vle
