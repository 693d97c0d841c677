// SaveBitmap: an image's rect as an uncompressed 24-bit bottom-up bitmap file.
//
// The file is a 14-byte file header, a 40-byte information header and four zero bytes (an empty
// colour-table entry), so the pixels start at offset 58 and the offset field says so. Templates
// saved so far have exactly this layout, image-size field 0 included; whatever reads them may rely
// on it.
//
// Returns true only when the whole file was written. The pixels are converted before the file is
// opened: when the scratch area cannot be had, no file is touched. An empty rect, or a buffer
// without pixels, gives the 58 header bytes alone. A write that fails after opening removes the
// partial file (a regular file only), so no truncated bitmap is left behind.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/image_buffer.h"
#include "export/template_export.h"
#include "platform/memory.h"

namespace vle {
namespace {

constexpr uint32_t kHeaderBytes = 58;

void Put16(uint8_t* at, uint32_t value) {
  at[0] = uint8_t(value);
  at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

void BuildHeader(uint8_t (&header)[kHeaderBytes], uint32_t width, uint32_t height,
                 uint32_t imageBytes) {
  std::memset(header, 0, sizeof(header));
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, kHeaderBytes + imageBytes);
  Put32(header + 10, kHeaderBytes);
  Put32(header + 14, 40);
  Put32(header + 18, width);
  Put32(header + 22, height);  // positive: rows bottom-up
  Put16(header + 26, 1);
  Put16(header + 28, 24);
  // Compression, image size, resolutions, colour counts and the colour entry stay zero.
}

// Only a regular file is removed after a failed write: the path may name a device, which a failed
// write must not cost its node.
void RemoveIfRegularFile(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) std::remove(path.c_str());
}

}  // namespace

bool SaveBitmap(const ImageBuffer& image, const std::string& path) {
  const Rect& rect = image.rect;
  // An empty rect keeps its one non-zero side in the header (a 0 x 115 picture is still 115 high);
  // a buffer without pixels, or whose rect has left the allocation, has nothing to show.
  int64_t width = std::max<int64_t>(int64_t{rect.right} - rect.left, 0);
  int64_t height = std::max<int64_t>(int64_t{rect.bottom} - rect.top, 0);
  const bool usable = image.bits != nullptr && rect.left >= 0 && rect.top >= 0 &&
                      rect.right <= image.allocWidth && rect.bottom <= image.allocHeight;
  if (width != 0 && height != 0 && !usable) width = height = 0;
  const uint64_t rowBytes = (uint64_t(width) * 3 + 3) & ~uint64_t{3};
  const uint64_t imageBytes = rowBytes * uint64_t(height);
  // The size field has 32 bits; a picture that cannot be described is not written at all.
  if (imageBytes > UINT32_MAX - kHeaderBytes || imageBytes > SIZE_MAX) return false;

  uint8_t* scratch = nullptr;
  if (imageBytes != 0) {
    scratch = static_cast<uint8_t*>(platform::AlignedAlloc(static_cast<std::size_t>(imageBytes)));
    if (scratch == nullptr) return false;
    const auto pixelBytes = static_cast<std::size_t>(width) * 3;
    for (int64_t row = 0; row < height; ++row) {
      // File row 0 is the rect's bottom row.
      uint8_t* out = scratch + static_cast<std::size_t>(uint64_t(height - 1 - row) * rowBytes);
      const uint32_t* in = image.PixelAt(rect.left, int32_t(rect.top + row));
      for (int64_t x = 0; x < width; ++x, out += 3) {
        out[0] = uint8_t(in[x]);
        out[1] = uint8_t(in[x] >> 8);
        out[2] = uint8_t(in[x] >> 16);
      }
      std::memset(out, 0, static_cast<std::size_t>(rowBytes) - pixelBytes);
    }
  }

  uint8_t header[kHeaderBytes];
  BuildHeader(header, uint32_t(width), uint32_t(height), uint32_t(imageBytes));

  bool whole = false;
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    whole = std::fwrite(header, 1, sizeof(header), file) == sizeof(header) &&
            (imageBytes == 0 ||
             std::fwrite(scratch, 1, static_cast<std::size_t>(imageBytes), file) == imageBytes);
    whole = std::fclose(file) == 0 && whole;
    // A truncated bitmap would load as a corrupt picture; better no file than that.
    if (!whole) RemoveIfRegularFile(path);
  }
  platform::AlignedFree(scratch);
  return whole;
}

}  // namespace vle
