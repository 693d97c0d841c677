// Row routines behind the template kernels, as a scalar reference (the definition) and SIMD
// variants that equal it bit for bit. Rows are arrays of BgrLuma32 pixels; count >= 0; each
// routine reads and writes exactly [0, count) of its rows. dst may be the same row as src.
#pragma once

#include <cstdint>

namespace vle {

// What BuildTemplate decides with, prepared once per call.
struct TemplateParams {
  uint32_t keyPixel;     // KeyPixel(ColorKey)
  int32_t threshold;     // keyed when maxY - minY > threshold
  int32_t blackLevel;    // keyed when blackLevel > minY
  uint32_t inverseMask;  // all ones when the selection is inverted, else 0
};

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

// Per instruction set; null when the build has no such variant (the 32-bit plug-in carries scalar
// and SSE2 only).
const KernelRows& KernelRowsC();
const KernelRows* KernelRowsSse2();
const KernelRows* KernelRowsAvx2();

// Scalar references; the SIMD variants finish their remainders with them.
void AccumulateMaxRow_C(const uint32_t* src, uint32_t* dst, int count);
void AccumulateMinRow_C(const uint32_t* src, uint32_t* dst, int count);
void BuildTemplateRow_C(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                        const TemplateParams& params);

}  // namespace vle
