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

}  // namespace vle
