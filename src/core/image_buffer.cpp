#include "core/image_buffer.h"

#include <cstddef>

#include "core/muldiv.h"
#include "core/surface_size.h"
#include "platform/memory.h"

namespace vle {

ImageBuffer::ImageBuffer(int32_t width, int32_t height) { Resize(width, height, 0, 0); }

ImageBuffer::~ImageBuffer() { platform::AlignedFree(bits); }

void ImageBuffer::Resize(int32_t w, int32_t h, int32_t g, int32_t s) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  rect = Rect{0, 0, w, h};
  const bool realloc = w > allocWidth || h > allocHeight ||
                       w < MulDiv(allocWidth, 100 - s, 100 + g) ||
                       h < MulDiv(allocHeight, 100 - s, 100 + g);
  if (!realloc) return;
  allocWidth = MulDiv(w, 100 + g, 100);
  allocHeight = MulDiv(h, 100 + g, 100);
  platform::AlignedFree(bits);
  bits = nullptr;
  // MulDiv reports overflow as -1; such a size, like any byte count beyond the address space,
  // leaves the buffer without pixels.
  if (allocWidth <= 0 || allocHeight <= 0) return;
  const uint64_t pixels = uint64_t(allocWidth) * uint64_t(allocHeight);
  if (pixels > SIZE_MAX / 4) return;
  bits = static_cast<uint32_t*>(platform::AlignedAlloc(static_cast<std::size_t>(pixels * 4)));
}

void ImageBuffer::Fill(int a, int b, int c, int d) { FillRect(rect, a, b, c, d); }

void ImageBuffer::FillRect(const Rect& r, int a, int b, int c, int d) {
  if (bits == nullptr || IsEmpty(rect) || IsEmpty(r)) return;
  Rect clipped;
  if (!Intersect(r, Rect{0, 0, allocWidth, allocHeight}, &clipped)) return;
  const uint32_t value = (uint32_t(a) & 0xFF) << 24 | (uint32_t(b) & 0xFF) << 16 |
                         (uint32_t(c) & 0xFF) << 8 | (uint32_t(d) & 0xFF);
  for (int32_t y = clipped.top; y < clipped.bottom; ++y) {
    uint32_t* row = PixelAt(clipped.left, y);
    for (int32_t x = 0, n = clipped.right - clipped.left; x < n; ++x) row[x] = value;
  }
}

bool PictureRows(uint32_t* bits, const Size& size, bool topDown, PixelRows* rows,
                 uint64_t maxBytes) {
  if (bits == nullptr || !SurfaceAddressable(size.width, size.height, 4, maxBytes)) return false;
  const int64_t width = size.width;
  *rows = topDown ? PixelRows{bits, width, size.width, size.height}
                  : PixelRows{bits + width * (size.height - 1), -width, size.width, size.height};
  return true;
}

bool RowsOf(const ImageBuffer& buffer, PixelRows* rows) {
  const Rect& r = buffer.rect;
  if (buffer.bits == nullptr || IsEmpty(r)) return false;
  if (r.left < 0 || r.top < 0 || r.right > buffer.allocWidth || r.bottom > buffer.allocHeight) {
    return false;
  }
  *rows = PixelRows{buffer.PixelAt(r.left, r.top), -int64_t{buffer.allocWidth}, r.right - r.left,
                    r.bottom - r.top};
  return true;
}

}  // namespace vle
