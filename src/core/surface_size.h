// Byte sizes of pixel surfaces, formed in 64 bits so that hostile sizes from a host or a settings
// file cannot wrap, and whether a surface of that size can be addressed at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vle {

// Bytes of a width x height surface of `bytesPerPixel`, rows without padding; 0 when either side
// is 0 or negative.
constexpr uint64_t SurfaceBytes(int32_t width, int32_t height, int32_t bytesPerPixel) {
  if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return 0;
  return uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
}

// Whether the surface has pixels and every byte offset in it fits `limit` (by default what a
// pointer difference can hold on this machine: 2 GiB for the 32-bit plug-in).
constexpr bool SurfaceAddressable(int32_t width, int32_t height, int32_t bytesPerPixel,
                                  uint64_t limit = uint64_t(PTRDIFF_MAX)) {
  const uint64_t bytes = SurfaceBytes(width, height, bytesPerPixel);
  return bytes != 0 && bytes <= limit;
}

}  // namespace vle
