// ImportRegion: clipping, addressing and row dispatch for the frame import. The per-pixel work
// lives in the row routines (import_rows*.cpp).
#include <climits>

#include "frame/frame_adapter.h"
#include "frame/import_rows.h"
#include "frame/surface_size.h"
#include "platform/cpu.h"

namespace vle {
namespace {

int32_t SaturateToInt32(int64_t value) {
  return value > INT32_MAX   ? INT32_MAX
         : value < INT32_MIN ? INT32_MIN
                             : static_cast<int32_t>(value);
}

// [lo, hi) lies in [0, extent).
bool Inside(int64_t lo, int64_t hi, int64_t extent) { return 0 <= lo && lo < hi && hi <= extent; }

}  // namespace

void FrameAdapter::ImportRegion(const uint8_t* framePixels, const Point& framePoint,
                                uint32_t* imageBits, const Size& imageSize, const Rect& imageRect,
                                int32_t imageFormat) const {
  if (framePixels == nullptr || imageBits == nullptr) return;
  const ImportRows rows = SelectImportRows(format, imageFormat, platform::CpuFeatures());
  if (rows.evenStart == nullptr) return;

  // Surfaces whose byte size does not fit the address space are empty: no offset into them
  // could be formed.
  const int32_t frameBytesPerPixel = format == kYuy2 ? 2 : 3;
  if (!SurfaceAddressable(width, height, frameBytesPerPixel) ||
      !SurfaceAddressable(imageSize.width, imageSize.height, 4)) {
    return;
  }

  Rect image = imageRect;
  Rect frame{framePoint.x, framePoint.y,
             SaturateToInt32(int64_t{framePoint.x} + (int64_t{imageRect.right} - imageRect.left)),
             SaturateToInt32(int64_t{framePoint.y} + (int64_t{imageRect.bottom} - imageRect.top))};
  if (!ClipRectPair(frameSize(), frame, imageSize, image)) return;

  // What clipping promises, checked once more against the surfaces themselves: rectangles that
  // span most of the 32-bit range make its carried cuts wrap, and must not turn into reads or
  // writes outside either surface.
  if (!Inside(frame.left, frame.right, width) || !Inside(frame.top, frame.bottom, height)) return;
  const int32_t count = frame.right - frame.left;
  const int32_t rowCount = frame.bottom - frame.top;
  if (!Inside(image.left, int64_t{image.left} + count, imageSize.width) ||
      !Inside(image.top, int64_t{image.top} + rowCount, imageSize.height)) {
    return;
  }

  const int64_t frameRowBytes = int64_t{frameBytesPerPixel} * width;
  const uint8_t* frameTop = framePixels;
  int64_t framePitch = frameRowBytes;
  if (format == kBgr24) {  // bottom-up: the top picture row is the last one in memory
    frameTop = framePixels + frameRowBytes * (height - 1);
    framePitch = -frameRowBytes;
  }
  const bool imageTopDown = imageFormat == kYuvAlpha32 || imageFormat == kYuvLuma32;
  uint32_t* imageTop =
      imageTopDown ? imageBits : imageBits + int64_t{imageSize.width} * (imageSize.height - 1);
  const int64_t imagePitch = imageTopDown ? imageSize.width : -int64_t{imageSize.width};

  ImportRowFn convert = rows.evenStart;
  int32_t frameX = frame.left;
  int32_t pairedCount = count;
  bool halfPairAtEnd = false;
  if (format == kYuy2) {
    // A block starting at an odd column starts inside a pair: address the pair, convert its
    // second pixel first.
    if (frameX & 1) {
      --frameX;
      convert = rows.splitStart;
    }
    // In a frame of odd width the last column is half a pair: its Cr would be the next row's
    // first chroma byte, or lie beyond the frame on the last row. It is converted on its own with
    // neutral Cr, so that every image row comes from its own frame row only.
    if ((width & 1) && frame.right == width) {
      halfPairAtEnd = true;
      --pairedCount;
    }
  }
  const ImportRowFn convertOne = SelectImportRows(format, imageFormat, 0).evenStart;

  for (int32_t i = 0; i < rowCount; ++i) {
    const uint8_t* frameRow = frameTop + framePitch * (frame.top + i);
    uint32_t* imageRow = imageTop + imagePitch * (image.top + i) + image.left;
    if (pairedCount > 0) {
      convert(frameRow + int64_t{frameBytesPerPixel} * frameX, imageRow, pairedCount);
    }
    if (halfPairAtEnd) {
      const uint8_t* last = frameRow + 2 * (int64_t{width} - 1);
      const uint8_t pair[4] = {last[0], last[1], last[0], 128};
      convertOne(pair, imageRow + pairedCount, 1);
    }
  }
}

}  // namespace vle
