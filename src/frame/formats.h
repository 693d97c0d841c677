// Codes shared with the host (frame layouts) and between the frame adapter's callers (32-bit
// picture layouts). Unlisted codes are stored without complaint and convert nothing.
#pragma once

#include <cstdint>

namespace vle {

// The host's frame layout (FrameFormat::pixelFormat). Rows carry no padding.
enum FramePixelFormat : int32_t {
  kYuy2 = 0,   // packed 4:2:2, pairs Y0 Cb Y1 Cr, rows top-down, 2 bytes per pixel
  kBgr24 = 1,  // B G R, rows bottom-up, 3 bytes per pixel
};

// 32-bit picture layouts, bytes in memory order.
enum ImageFormat : int32_t {
  kBgr32 = 0,       // B G R ignored, bottom-up
  kBgrLuma32 = 3,   // B G R Y, bottom-up: the working layout of the accumulators
  kBgrAlpha32 = 4,  // B G R A, bottom-up
  kYuvAlpha32 = 9,  // Y Cb A Cr, top-down
  kYuvLuma32 = 11,  // Y Cb Y Cr, top-down
};

}  // namespace vle
