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

namespace {

constexpr KernelRows kRowsC{AccumulateMaxRow_C, AccumulateMinRow_C, BuildTemplateRow_C};

// A buffer's rect as rows: the top-left pixel and the step from one picture row to the next
// (one allocation row back in memory).
struct Plane {
  uint32_t* topLeft;
  int64_t pitch;
  int32_t width;
  int32_t height;
};

// False for a buffer without pixels, with an empty rect, or with a rect that leaves its
// allocation (which no operation of ImageBuffer produces; direct field writes could).
bool ToPlane(const ImageBuffer& buffer, Plane* plane) {
  const Rect& r = buffer.rect;
  if (buffer.bits == nullptr || IsEmpty(r)) return false;
  if (r.left < 0 || r.top < 0 || r.right > buffer.allocWidth || r.bottom > buffer.allocHeight) {
    return false;
  }
  *plane = Plane{buffer.PixelAt(r.left, r.top), -int64_t{buffer.allocWidth}, r.right - r.left,
                 r.bottom - r.top};
  return true;
}

// The processed size is the last buffer's rect; an input smaller than it limits the work to what
// the input holds rather than reading past it.
void Limit(const Plane& input, Plane* work) {
  if (input.width < work->width) work->width = input.width;
  if (input.height < work->height) work->height = input.height;
}

void Accumulate(const ImageBuffer& source, ImageBuffer& destination, bool keepMax) {
  Plane src, dst;
  if (!ToPlane(source, &src) || !ToPlane(destination, &dst)) return;
  Limit(src, &dst);
  const KernelRows rows = SelectKernelRows(platform::CpuFeatures());
  const AccumulateRowFn fn = keepMax ? rows.accumulateMax : rows.accumulateMin;
  for (int32_t y = 0; y < dst.height; ++y) {
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
  Plane mx, mn, out;
  if (!ToPlane(max, &mx) || !ToPlane(min, &mn) || !ToPlane(output, &out)) return;
  Limit(mx, &out);
  Limit(mn, &out);
  const TemplateParams params{KeyPixel(colorKey), threshold, blackLevel,
                              inverseSelection != 0 ? ~0u : 0u};
  const TemplateRowFn fn = SelectKernelRows(platform::CpuFeatures()).buildTemplate;
  for (int32_t y = 0; y < out.height; ++y) {
    fn(mx.topLeft + mx.pitch * y, mn.topLeft + mn.pitch * y, out.topLeft + out.pitch * y, out.width,
       params);
  }
}

void ResetAccumulators(ImageBuffer* max, ImageBuffer* min) {
  if (max != nullptr) max->Fill(0, 0, 0, 0);
  if (min != nullptr) min->Fill(255, 255, 255, 255);
}

}  // namespace vle
