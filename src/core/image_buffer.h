// The plug-in's one picture type: 32-bit pixels in 16-byte aligned storage, rows bottom-up over
// the whole allocation, with a current rectangle.
//
// Pixel (x, y), y counted from the top, is the word at bits + (allocHeight - 1 - y) * allocWidth + x:
// y = 0 is the last row in memory. When the allocation is larger than `rect`, the rectangle lies in
// the highest rows of memory.
//
// A buffer whose `bits` is null (nothing allocated, or the allocation failed) is empty to every
// reader and writer; `allocWidth`/`allocHeight` may still hold the size that was asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/geometry.h"

namespace vle {

class ImageBuffer {
 public:
  // Allocates exactly width x height pixels; rect = (0, 0, width, height). Negative sizes count as 0.
  ImageBuffer(int32_t width, int32_t height);
  explicit ImageBuffer(const Size& size) : ImageBuffer(size.width, size.height) {}
  virtual ~ImageBuffer();
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // Sets rect to (0, 0, w, h) and reallocates when w or h exceed the storage or fall below
  // MulDiv(alloc, 100 - shrinkPercent, 100 + growPercent); a new allocation is grown by growPercent.
  // Pixels are not preserved across a reallocation. Sizes whose byte count does not fit the
  // address space leave the buffer without pixels.
  void Resize(int32_t w, int32_t h, int32_t growPercent, int32_t shrinkPercent);

  // FillRect over the buffer's own rect.
  void Fill(int a, int b, int c, int d);

  // Stores (a << 24 | b << 16 | c << 8 | d), each argument's low byte, into every pixel of r.
  // Does nothing without pixels or with an empty own rect or r; r is clipped to the allocation.
  void FillRect(const Rect& r, int a, int b, int c, int d);

  // Address of pixel (x, y) of the allocation; no bounds check.
  uint32_t* PixelAt(int32_t x, int32_t y) const {
    return bits + (int64_t{allocHeight} - 1 - y) * allocWidth + x;
  }
  Size size() const { return Size{allocWidth, allocHeight}; }
  bool empty() const { return bits == nullptr || IsEmpty(rect); }

  uint32_t* bits = nullptr;
  int32_t allocWidth = 0;
  int32_t allocHeight = 0;
  Rect rect{0, 0, 0, 0};
};

// The rows of a 32-bit picture, or of a block of one: pixel (x, y), y from the top of the block, is
// Row(y)[x]. The one description of picture rows for every reader and writer of pictures.
struct PixelRows {
  uint32_t* topLeft;
  int64_t pitch;  // pixels from one row of the block to the next below it; negative for bottom-up
  int32_t width;
  int32_t height;

  uint32_t* Row(int32_t y) const { return topLeft + pitch * y; }
  // The block of w x h pixels from (x, y) on; no bounds check.
  PixelRows Block(int32_t x, int32_t y, int32_t w, int32_t h) const {
    return PixelRows{Row(y) + x, pitch, w, h};
  }
};

// A whole picture of `size` at `bits`, rows without padding, bottom-up (the row order of every
// ImageBuffer) unless `topDown`. False without bits, for an empty size, or when the picture's bytes
// exceed `maxBytes` (by default what a pointer difference holds), so that every offset into it can
// be formed.
bool PictureRows(uint32_t* bits, const Size& size, bool topDown, PixelRows* rows,
                 uint64_t maxBytes = uint64_t(PTRDIFF_MAX));

// The buffer's rect as rows. False for a buffer without pixels, with an empty rect, or with a rect
// that leaves its allocation (which no operation of ImageBuffer produces; direct field writes
// could).
bool RowsOf(const ImageBuffer& buffer, PixelRows* rows);

}  // namespace vle
