// The template kernels: geometry and dispatch here, the per-pixel rules in the row routines.
#include "core/template_kernels.h"

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

namespace {

constexpr KernelRows kRowsC{AccumulateMaxRow_C, AccumulateMinRow_C, BuildTemplateRow_C};

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
  const KernelRows rows = SelectKernelRows(platform::CpuFeatures());
  const AccumulateRowFn fn = keepMax ? rows.accumulateMax : rows.accumulateMin;
  // Rows in memory order (bottom-up buffers: the last picture row first), so that every buffer
  // is read as one ascending stream.
  for (int32_t y = dst.height - 1; y >= 0; --y) {
    fn(src.topLeft + src.pitch * y, dst.topLeft + dst.pitch * y, dst.width);
  }
}

}  // namespace

const KernelRows& KernelRowsC() { return kRowsC; }

KernelRows SelectKernelRows(int cpuFeatures) {
  const KernelRows* rows = &kRowsC;
  if ((cpuFeatures & platform::kCpuSse2) && KernelRowsSse2() != nullptr) rows = KernelRowsSse2();
  if ((cpuFeatures & platform::kCpuAvx2) && KernelRowsAvx2() != nullptr) rows = KernelRowsAvx2();
  return *rows;
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
    fn(mx.topLeft + mx.pitch * y, mn.topLeft + mn.pitch * y, out.topLeft + out.pitch * y, out.width,
       params);
  }
}

void ResetAccumulators(ImageBuffer* max, ImageBuffer* min) {
  if (max != nullptr) max->Fill(0, 0, 0, 0);
  if (min != nullptr) min->Fill(255, 255, 255, 255);
}

}  // namespace vle
