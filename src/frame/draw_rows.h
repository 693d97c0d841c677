// Row routines that draw one row of a 32-bit picture into one row of a host frame.
//
// Contract of every DrawRowFn:
//  - `src` is the row's first picture pixel, `count` (>= 1) pixels are drawn left to right.
//  - `dst` is the frame byte where the row starts. On Yuy2 it is always the first byte of a pixel
//    pair (Y0 Cb Y1 Cr); the even-start routines draw the pair's first pixel first, the split-start
//    routines its second. On Bgr24 it is the first pixel's B.
//  - `scaledOpacity` is opacity * 256 / 100 in 0..256; replacing routines ignore it.
//  - Exactly the `count` source pixels are read. Frame bytes are read and written only where the
//    row draws: a Yuy2 pair covered by its second pixel only gets its second luma, a pair covered
//    by its first pixel only gets its first luma, Cb and Cr. Nothing outside the row is touched.
//
// Blends, per byte: out = clamp(D + floor(floor((S - D) * A' / 256) * O / 256)), with
// A' = A + (A >= 128) and O = scaledOpacity. The Yuy2 routines take a pair's first luma, Cb and Cr
// (and their alpha) from its even pixel and its second luma (and alpha) from its odd pixel.
//
// The _C routines are the definition, for every pairing. Names follow
// <Picture layout>To<Frame layout>Row_<ISA>; the Yuy2 ones draw from an even start. Only the
// drawing the product runs, code 0 replacing either frame layout, has SIMD variants (named and
// chosen as core/row_levels.h describes); they give identical bytes.
#pragma once

#include <cstdint>

namespace vle {

using DrawRowFn = void (*)(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);

// Code 0 (B G R x) replacing Yuy2: luma and chroma by RgbToYcbcr.
void Bgr32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
void Bgr32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Code 3 (B G R Y) replacing Yuy2: luma from byte 3, chroma by RgbToYcbcr.
void BgrLuma32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
void BgrLuma32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Code 4 (B G R A) blended onto Yuy2 by RgbToYcbcr of B, G, R.
void BgrAlpha32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
void BgrAlpha32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Code 9 (Y Cb A Cr) blended onto Yuy2.
void YuvAlpha32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
void YuvAlpha32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Code 11 (Y Cb Y Cr) replacing Yuy2: a pair's first luma from byte 0, its second from byte 2.
void YuvLuma32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
void YuvLuma32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Codes 0 and 3 replacing Bgr24: bytes 0..2 copied, byte 3 ignored.
void Bgr32ToBgr24Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);
// Code 4 blended onto Bgr24.
void BgrAlpha32ToBgr24Row_C(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity);

// The drawing of code 0 (and 3 onto Bgr24), per level.
struct DrawRows {
  DrawRowFn bgr32ToYuy2;       // even start
  DrawRowFn bgr32ToYuy2Split;  // split start
  DrawRowFn bgr32ToBgr24;      // codes 0 and 3
};

const DrawRows& DrawRowsC();
const DrawRows* DrawRowsSse2();
const DrawRows* DrawRowsAvx2();
DrawRows SelectDrawRows(int cpuFeatures);

// A split-start row: the first pixel by the scalar routine (one luma), the rest from the next
// pair on by an even-start routine of any level.
template <DrawRowFn SplitC, DrawRowFn Even>
void SplitStartRow(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity) {
  SplitC(src, dst, 1, scaledOpacity);
  if (count > 1) Even(src + 1, dst + 4, count - 1, scaledOpacity);
}

// The routine for (image code, frame format, start parity): from SelectDrawRows at the level that
// platform::CpuFeatures() reports now where the pairing has a table entry, the _C routine
// otherwise; null for pairings that draw nothing. `splitStart` only matters on Yuy2.
DrawRowFn SelectDrawRow(int32_t imageFormat, int32_t frameFormat, bool splitStart);

}  // namespace vle
