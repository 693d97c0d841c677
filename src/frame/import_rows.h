// Row conversions from host frame pixels into 32-bit pictures: one per (frame layout, image code),
// scalar only. They are the definition that the capture rows' SIMD conversion (the BgrLuma32 code,
// in capture_vectors_*.h) is checked against.
//
// Every routine is fn(src, dst, count): `src` is the frame byte where the row's data starts (for
// Yuy2 always the first byte of a pair), `dst` the row's first image pixel, count >= 0 pixels.
// A routine reads only the frame bytes of the pixels (Yuy2: the pairs) it converts and writes
// exactly dst[0 .. count - 1]. Source and destination must not overlap.
//
// Yuy2 conversions work on whole pairs: a pair's Cb and Cr serve both of its pixels and chroma is
// never interpolated between pairs. YCbCr -> RGB is full range:
//   B = clamp(Y + floor(7258 u / 4096)),  R = clamp(Y + floor(5743 v / 4096)),
//   G = clamp(Y + floor(-1410 u / 4096) + floor(-2925 v / 4096))      (u = Cb - 128, v = Cr - 128)
// and RGB -> YCbCr (the luma weights sum to exactly 32768, so white stays 255):
//   Y' = floor((3735 B + 19235 G + 9798 R) / 32768)
//   Cb' = floor((16384 B - 10855 G - 5529 R) / 32768) + 128
//   Cr' = floor((-2664 B - 13720 G + 16384 R) / 32768) + 128
// These are exactly what 16-bit lanes with multiply-high (4096-scaled terms) and multiply-add
// (32768-scaled sums) produce, which is why the G terms are floored separately.
//
// In a Yuy2 frame of odd width the last column is half a pair: its Cr would be the next row's first
// chroma byte, or lie beyond the frame on the last row. Every reader converts it as the whole pair
// that HalfPairAtEnd forms, so that each picture row comes from its own frame row only.
#pragma once

#include <cstdint>

#include "frame/formats.h"

namespace vle {

using ImportRowFn = void (*)(const uint8_t* src, uint32_t* dst, int count);

struct ImportRows {
  // Yuy2: the row's first pixel is the first pixel of the pair at src; an odd count ends with the
  // first pixel of the pair after the last whole one. Bgr24: src is the row's first pixel.
  ImportRowFn evenStart;
  // Yuy2 only (null for Bgr24): the row's first pixel is the second pixel of the pair at src; the
  // rest continues as evenStart from the next pair.
  ImportRowFn splitStart;
};

// The routines for frame layout `frameFormat` (FramePixelFormat) and `imageFormat` (3, 4, 9, 11);
// both null for any pairing the import does not list.
ImportRows SelectImportRows(int32_t frameFormat, int32_t imageFormat);

// The pair a Yuy2 row of odd width ends with, from the row's last pixel (its Y and Cb): that Y
// twice, with neutral Cr. Its first pixel is the row's last one.
struct HalfPair {
  uint8_t bytes[4];
};
inline HalfPair HalfPairAtEnd(const uint8_t* lastPixel) {
  return HalfPair{{lastPixel[0], lastPixel[1], lastPixel[0], 128}};
}

// The routines, explicitly instantiated for codes 3, 4, 9 and 11 in import_rows.cpp.
template <int32_t kImageFormat>
void Yuy2ToImageRow_C(const uint8_t* src, uint32_t* dst, int count);
template <int32_t kImageFormat>
void Yuy2ToImageRowSplit_C(const uint8_t* src, uint32_t* dst, int count);
template <int32_t kImageFormat>
void Bgr24ToImageRow_C(const uint8_t* src, uint32_t* dst, int count);

#define VLE_IMPORT_ROWS_EXTERN(code)                                                \
  extern template void Yuy2ToImageRow_C<code>(const uint8_t*, uint32_t*, int);      \
  extern template void Yuy2ToImageRowSplit_C<code>(const uint8_t*, uint32_t*, int); \
  extern template void Bgr24ToImageRow_C<code>(const uint8_t*, uint32_t*, int);
VLE_IMPORT_ROWS_EXTERN(kBgrLuma32)
VLE_IMPORT_ROWS_EXTERN(kBgrAlpha32)
VLE_IMPORT_ROWS_EXTERN(kYuvAlpha32)
VLE_IMPORT_ROWS_EXTERN(kYuvLuma32)
#undef VLE_IMPORT_ROWS_EXTERN

}  // namespace vle
