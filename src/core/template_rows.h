// Row routines behind the template kernels. Rows are arrays of BgrLuma32 pixels; count >= 0; each
// routine reads and writes exactly [0, count) of its rows. dst may be the same row as src.
// The accumulators are scalar only: the product folds frames in the capture rows, which carry their
// own SIMD accumulation. The template row has SIMD variants (core/row_levels.h) in which a step
// where no pixel changes stores nothing, so that rows a frame leaves as they were stay clean in the
// cache; what the rows hold afterwards is the same.
#pragma once

#include <cstdint>

#include "core/settings_block.h"

namespace vle {

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

using AccumulateRowFn = void (*)(const uint32_t* src, uint32_t* dst, int count);
using TemplateRowFn = void (*)(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                               const TemplateParams& params);

struct KernelRows {
  TemplateRowFn buildTemplate;
};

// Per level, as core/row_levels.h describes.
const KernelRows& KernelRowsC();
const KernelRows* KernelRowsSse2();
const KernelRows* KernelRowsAvx2();
KernelRows SelectKernelRows(int cpuFeatures);

// dst = src where src's luma > dst's.
void AccumulateMaxRow_C(const uint32_t* src, uint32_t* dst, int count);
// dst = src where src's luma < dst's.
void AccumulateMinRow_C(const uint32_t* src, uint32_t* dst, int count);
void BuildTemplateRow_C(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                        const TemplateParams& params);

}  // namespace vle
