// Row routines behind the template kernels, as a scalar reference (the definition) and SIMD
// variants that equal it bit for bit. Rows are arrays of BgrLuma32 pixels; count >= 0; each
// routine reads and writes exactly [0, count) of its rows. dst may be the same row as src. A SIMD
// step in which no pixel changes stores nothing, so that rows a frame leaves as they were stay
// clean in the cache; what the rows hold afterwards is the same.
#pragma once

#include <cstdint>

#include "core/settings_block.h"

namespace vle {

class ImageBuffer;

// What BuildTemplate decides with, prepared once per call.
struct TemplateParams {
  uint32_t keyPixel;     // KeyPixel(ColorKey)
  int32_t threshold;     // keyed when maxY - minY > threshold
  int32_t blackLevel;    // keyed when blackLevel > minY
  uint32_t inverseMask;  // all ones when the selection is inverted, else 0
};

// The parameters from the settings BuildTemplate takes.
constexpr TemplateParams MakeTemplateParams(uint32_t colorKey, int32_t threshold,
                                            int32_t blackLevel, uint32_t inverseSelection) {
  return TemplateParams{KeyPixel(colorKey), threshold, blackLevel,
                        inverseSelection != 0 ? ~0u : 0u};
}

// A buffer's rect as rows: the rect's top-left pixel and the step from one picture row to the next
// (one allocation row back in memory).
struct PixelRows {
  uint32_t* topLeft;
  int64_t pitch;
  int32_t width;
  int32_t height;
};

// False for a buffer without pixels, with an empty rect, or with a rect that leaves its
// allocation (which no operation of ImageBuffer produces; direct field writes could).
bool RowsOf(const ImageBuffer& buffer, PixelRows* rows);

using AccumulateRowFn = void (*)(const uint32_t* src, uint32_t* dst, int count);
using TemplateRowFn = void (*)(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                               const TemplateParams& params);

struct KernelRows {
  AccumulateRowFn accumulateMax;  // dst = src where src's luma > dst's
  AccumulateRowFn accumulateMin;  // dst = src where src's luma < dst's
  TemplateRowFn buildTemplate;
};

// The routines at the best level that `cpuFeatures` (platform::CpuFeature bits) allows; 0 gives
// the scalar reference.
KernelRows SelectKernelRows(int cpuFeatures);

// Per instruction set; null when the build has no such variant.
const KernelRows& KernelRowsC();
const KernelRows* KernelRowsSse2();
const KernelRows* KernelRowsAvx2();

// Scalar references; the SIMD variants finish their remainders with them.
void AccumulateMaxRow_C(const uint32_t* src, uint32_t* dst, int count);
void AccumulateMinRow_C(const uint32_t* src, uint32_t* dst, int count);
void BuildTemplateRow_C(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                        const TemplateParams& params);

}  // namespace vle
