// The template kernels: geometry and dispatch here, the per-pixel rules in the row routines.
#include "core/template_kernels.h"

#include "core/row_levels.h"
#include "core/settings_block.h"
#include "core/template_rows.h"
#include "platform/cpu.h"

namespace vle {

void AccumulateMaxRow_C(const uint32_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; ++i) {
    if ((src[i] >> 24) > (dst[i] >> 24)) dst[i] = src[i];
  }
}

void AccumulateMinRow_C(const uint32_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; ++i) {
    if ((src[i] >> 24) < (dst[i] >> 24)) dst[i] = src[i];
  }
}

void BuildTemplateRow_C(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                        const TemplateParams& params) {
  for (int i = 0; i < count; ++i) {
    const int32_t maxY = int32_t(max[i] >> 24);
    const int32_t minY = int32_t(min[i] >> 24);
    const bool varying = maxY - minY > params.threshold;
    const bool dark = params.blackLevel > minY;
    const uint32_t selected = (varying || dark ? ~0u : 0u) ^ params.inverseMask;
    out[i] = (params.keyPixel & selected) | (min[i] & ~selected);
  }
}

namespace {

constexpr KernelRows kRowsC{BuildTemplateRow_C};

// The processed size is the last buffer's rect; an input smaller than it limits the work to what
// the input holds rather than reading past it.
void Limit(const PixelRows& input, PixelRows* work) {
  if (input.width < work->width) work->width = input.width;
  if (input.height < work->height) work->height = input.height;
}

void Accumulate(const ImageBuffer& source, ImageBuffer& destination, bool keepMax) {
  PixelRows src, dst;
  if (!RowsOf(source, &src) || !RowsOf(destination, &dst)) return;
  Limit(src, &dst);
  const AccumulateRowFn fn = keepMax ? AccumulateMaxRow_C : AccumulateMinRow_C;
  // Rows in memory order (bottom-up buffers: the last picture row first), so that every buffer
  // is read as one ascending stream.
  for (int32_t y = dst.height - 1; y >= 0; --y) {
    fn(src.Row(y), dst.Row(y), dst.width);
  }
}

}  // namespace

const KernelRows& KernelRowsC() { return kRowsC; }

KernelRows SelectKernelRows(int cpuFeatures) {
  return SelectRowsLevel(cpuFeatures, kRowsC, KernelRowsSse2(), KernelRowsAvx2());
}

void AccumulateMax(const ImageBuffer& source, ImageBuffer& destination) {
  Accumulate(source, destination, true);
}

void AccumulateMin(const ImageBuffer& source, ImageBuffer& destination) {
  Accumulate(source, destination, false);
}

void BuildTemplate(const ImageBuffer& max, const ImageBuffer& min, ImageBuffer& output,
                   uint32_t colorKey, int32_t threshold, int32_t blackLevel,
                   uint32_t inverseSelection) {
  BuildTemplate(max, min, output,
                MakeTemplateParams(colorKey, threshold, blackLevel, inverseSelection));
}

void BuildTemplate(const ImageBuffer& max, const ImageBuffer& min, ImageBuffer& output,
                   const TemplateParams& params) {
  PixelRows mx, mn, out;
  if (!RowsOf(max, &mx) || !RowsOf(min, &mn) || !RowsOf(output, &out)) return;
  Limit(mx, &out);
  Limit(mn, &out);
  const TemplateRowFn fn = SelectKernelRows(platform::CpuFeatures()).buildTemplate;
  for (int32_t y = out.height - 1; y >= 0; --y) {  // memory order, as above
    fn(mx.Row(y), mn.Row(y), out.Row(y), out.width, params);
  }
}

void ResetAccumulators(ImageBuffer* max, ImageBuffer* min) {
  if (max != nullptr) max->Fill(0, 0, 0, 0);
  if (min != nullptr) min->Fill(255, 255, 255, 255);
}

}  // namespace vle
