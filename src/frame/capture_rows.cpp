// The scalar capture rows: literally the import, accumulator and template references applied in
// turn to short stretches of the row, so that the converted pixels stay on the stack.
#include "frame/capture_rows.h"

#include "core/row_levels.h"
#include "frame/import_rows.h"

namespace vle {
namespace {

// Pixels converted at a time. Even, so that every stretch of a Yuy2 row starts at a pair.
constexpr int kStretch = 64;

using ConvertFn = void (*)(const uint8_t* src, uint32_t* dst, int count);

void Fold(const uint32_t* capture, uint32_t* max, uint32_t* min, uint32_t* out, int count,
          const TemplateParams* params) {
  AccumulateMaxRow_C(capture, max, count);
  AccumulateMinRow_C(capture, min, count);
  if (params != nullptr) BuildTemplateRow_C(max, min, out, count, *params);
}

template <ConvertFn kConvert, int kBytesPerPixel>
void CaptureRow(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                const TemplateParams* params) {
  uint32_t capture[kStretch];
  for (int done = 0; done < count; done += kStretch) {
    const int n = count - done < kStretch ? count - done : kStretch;
    kConvert(src + kBytesPerPixel * done, capture, n);
    Fold(capture, max + done, min + done, params != nullptr ? out + done : nullptr, n, params);
  }
}

constexpr CaptureRows kRowsC{CaptureYuy2Row_C, CaptureBgr24Row_C};

}  // namespace

void CaptureYuy2Row_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                      const TemplateParams* params) {
  CaptureRow<Yuy2ToImageRow_C<kBgrLuma32>, 2>(src, max, min, out, count, params);
}

void CaptureYuy2SplitRow_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                           int count, const TemplateParams* params) {
  if (count <= 0) return;
  uint32_t first;
  Yuy2ToImageRowSplit_C<kBgrLuma32>(src, &first, 1);
  Fold(&first, max, min, out, 1, params);
  CaptureYuy2Row_C(src + 4, max + 1, min + 1, params != nullptr ? out + 1 : nullptr, count - 1,
                   params);
}

void CaptureBgr24Row_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                       const TemplateParams* params) {
  CaptureRow<Bgr24ToImageRow_C<kBgrLuma32>, 3>(src, max, min, out, count, params);
}

const CaptureRows& CaptureRowsC() { return kRowsC; }

CaptureRows SelectCaptureRows(int cpuFeatures) {
  return SelectRowsLevel(cpuFeatures, kRowsC, CaptureRowsSse2(), CaptureRowsAvx2());
}

}  // namespace vle
